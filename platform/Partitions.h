#pragma once
// The partition table of a whole disk or disk image: MBR with logical
// partitions in extended ones, and GPT. Read through the device itself so
// that image containers and every system read tables alike.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Device.h"

struct PartitionInfo {
  int number = 0;          // as Linux numbers them: 1-4 MBR primaries, 5 and up logical, GPT from 1
  uint64_t offset = 0;     // bytes from the start of the disk
  uint64_t size = 0;       // bytes, cut to what the disk holds
  bool cut = false;        // the table gives it more than the disk holds
  uint64_t tableSize = 0;  // bytes, as the table gives it
  std::string table;       // "dos" or "gpt"
};

struct PartitionTable {
  std::string type;                     // "dos", "gpt" or empty for a disk without a table
  std::vector<PartitionInfo> partitions;  // data partitions (extended containers left out), in table order
  std::vector<std::string> notes;       // entries skipped and structures found damaged
};

// False, with what was wrong and where, when the disk has a table that
// cannot be read at all; a disk without one gives an empty table.
bool ReadPartitionTable(CDevice& disk, PartitionTable* table, std::string* error);

// The stretches of the disk no partition covers, in disk order.
struct DiskExtent {
  uint64_t offset = 0;
  uint64_t size = 0;
};
std::vector<DiskExtent> SpaceOutsidePartitions(const std::vector<PartitionInfo>& partitions, uint64_t diskSize);
