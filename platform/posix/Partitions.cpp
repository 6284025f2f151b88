#include "platform/Partitions.h"

#include <blkid/blkid.h>

namespace {
// libblkid counts partition starts and sizes in 512-byte sectors, whatever the disk's.
constexpr uint64_t kBlkidSector = 512;
}

bool ListPartitions(const std::string& path, uint64_t diskSize, std::vector<PartitionInfo>* partitions,
                    std::string* error) {
  partitions->clear();
  blkid_probe probe = blkid_new_probe_from_filename(path.c_str());
  if (probe == nullptr) {
    if (error) *error = path + ": cannot be probed for a partition table";
    return false;
  }
  blkid_probe_enable_partitions(probe, 1);
  blkid_probe_set_partitions_flags(probe, BLKID_PARTS_ENTRY_DETAILS);
  blkid_partlist list = blkid_probe_get_partitions(probe);
  const int count = list ? blkid_partlist_numof_partitions(list) : 0;
  blkid_parttable table = list ? blkid_partlist_get_table(list) : nullptr;
  const char* type = table ? blkid_parttable_get_type(table) : nullptr;
  for (int i = 0; i < count; ++i) {
    blkid_partition part = blkid_partlist_get_partition(list, i);
    if (part == nullptr || blkid_partition_is_extended(part)) continue;
    PartitionInfo info;
    info.number = blkid_partition_get_partno(part);
    info.table = type ? type : "";
    // The table's numbers are the disk's to claim: one that cannot be a byte
    // offset on any disk lies past the end of this one.
    const blkid_loff_t start = blkid_partition_get_start(part);
    const blkid_loff_t sectors = blkid_partition_get_size(part);
    if (start < 0 || sectors < 0 ||
        __builtin_mul_overflow(static_cast<uint64_t>(start), kBlkidSector, &info.offset) ||
        __builtin_mul_overflow(static_cast<uint64_t>(sectors), kBlkidSector, &info.size)) {
      info.offset = diskSize;
    }
    // An entry past the end of the image is kept, cut to what the image holds.
    if (info.offset >= diskSize) {
      info.size = 0;
      info.cut = true;
    } else if (info.size > diskSize - info.offset) {
      info.size = diskSize - info.offset;
      info.cut = true;
    }
    partitions->push_back(info);
  }
  blkid_free_probe(probe);
  return true;
}
