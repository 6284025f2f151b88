// A partitioned disk: its table read, then every partition and the space
// outside them scanned through their views, as the drive table offers them.
#include "ScanEverything.h"
#include "platform/MemoryDevice.h"
#include "platform/PartitionDevice.h"
#include "platform/Partitions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto disk = std::make_shared<CMemoryDevice>(std::make_shared<const std::vector<uint8_t>>(data, data + size));
  PartitionTable table;
  std::string error;
  if (!ReadPartitionTable(*disk, &table, &error)) return 0;
  // A table may list hundreds of partitions over the same bytes; a few show what each view does.
  size_t scanned = 0;
  for (const PartitionInfo& p : table.partitions) {
    if (scanned++ == 4) break;
    ScanEverything(std::make_shared<CPartitionDevice>(disk, p.offset, p.size), ModeDeletedFiles);
  }
  ScanEverything(std::make_shared<CPartitionDevice>(disk, SpaceOutsidePartitions(table.partitions, size)),
                 ModeDeletedFiles);
  return 0;
}
