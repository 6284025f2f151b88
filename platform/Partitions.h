#pragma once
// The partition table of a whole disk or disk image, as the system's
// partition prober reads it (libblkid on Linux).

#include <cstdint>
#include <string>
#include <vector>

struct PartitionInfo {
  int number = 0;        // as Linux numbers them: 1-4 MBR primaries, 5 and up logical, GPT from 1
  uint64_t offset = 0;   // bytes from the start of the disk
  uint64_t size = 0;     // bytes, cut to what the disk holds
  bool cut = false;      // the table gives it more than the disk holds
  std::string table;     // "dos" or "gpt"
};

// The partitions holding data (extended containers left out), in table
// order; empty for a disk without a table. False, with the reason, when the
// prober cannot read the disk or cannot be had on this system.
bool ListPartitions(const std::string& path, uint64_t diskSize, std::vector<PartitionInfo>* partitions,
                    std::string* error);
