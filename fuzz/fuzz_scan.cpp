// A whole scan of a small image in both modes, with the results tree, rows,
// previews and a search, as the results window would use them. The first byte
// chooses the mode; the file system is recognised from the image itself.
#include <cstdio>

#include "app/ResultsModel.h"
#include "platform/MemoryDevice.h"
#include "scan/ScanThread.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t choice = data[0];
  auto image = std::make_shared<const std::vector<uint8_t>>(data + 1, data + size);
  ScanSession session;
  session.selectedDrive = 'F';
  session.device = std::make_shared<CMemoryDevice>(image);
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
  return 0;
}
