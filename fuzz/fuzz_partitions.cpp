// A partitioned disk: its table read, then every partition and the space
// outside them scanned through their views, as the drive table offers them.
#include "app/ResultsModel.h"
#include "platform/MemoryDevice.h"
#include "platform/PartitionDevice.h"
#include "platform/Partitions.h"
#include "scan/ScanThread.h"

namespace {

void ScanView(std::shared_ptr<CDevice> view) {
  ScanSession session;
  session.selectedDrive = 'F';
  session.device = std::move(view);
  session.recoveryMode = ModeDeletedFiles;
  CSilentProgress progress;
  ScanThreadProc(progress, session);
  CResultsModel model(session);
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    for (const FileRow& row : model.RowsOfNode(node)) {
      uint32_t length = 0;
      if (row.file) row.file->LoadContent(&length);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto disk = std::make_shared<CMemoryDevice>(std::make_shared<const std::vector<uint8_t>>(data, data + size));
  PartitionTable table;
  std::string error;
  if (!ReadPartitionTable(*disk, &table, &error)) return 0;
  // A table may list hundreds of partitions over the same bytes; a few show what each view does.
  size_t scanned = 0;
  for (const PartitionInfo& p : table.partitions) {
    if (scanned++ == 4) break;
    ScanView(std::make_shared<CPartitionDevice>(disk, p.offset, p.size));
  }
  ScanView(std::make_shared<CPartitionDevice>(disk, SpaceOutsidePartitions(table.partitions, size)));
  return 0;
}
