#include "platform/Partitions.h"

// Windows gives each partition of a disk its own drive letter; a partitioned
// image given with --image is not read through its table here.
bool ListPartitions(const std::string& path, uint64_t, std::vector<PartitionInfo>* partitions, std::string* error) {
  partitions->clear();
  if (error) *error = path + ": partition tables of images are not read on Windows";
  return false;
}
