// A whole scan of a small image in both modes, with the results tree, rows,
// previews and a search, as the results window would use them. The first byte
// chooses the file-system name the drive reports and the mode.
#include <cstdio>

#include "app/ResultsModel.h"
#include "platform/Diagnostics.h"
#include "platform/Drives.h"
#include "scan/ScanThread.h"

namespace {
const char* const kFileSystems[] = {"NTFS", "FAT32", "", "exFAT"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The readers' diagnostic lines would only slow the fuzzer down.
  static std::FILE* const quiet = [] {
    std::FILE* sink = std::fopen("/dev/null", "w");
    SetDiagnosticStream(sink);
    return sink;
  }();
  (void)quiet;
  const uint8_t choice = data[0];
  auto image = std::make_shared<const std::vector<uint8_t>>(data + 1, data + size);
  RegisterMemoryImage('F', image, kFileSystems[choice % 4]);
  ScanSession session;
  session.selectedDrive = 'F';
  session.recoveryMode = (choice & 4) ? ModeUniversal : ModeDeletedFiles;
  CSilentProgress progress;
  ScanThreadProc(progress, session);
  CResultsModel model(session);
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    for (const FileRow& row : model.RowsOfNode(node)) {
      uint32_t length = 0;
      if (row.file) row.file->LoadContent(&length);
    }
  }
  model.FindFiles("a");
  ForgetDrive('F');
  return 0;
}
