#pragma once
// The file system a volume's first sector names, as Windows names it.

#include <cstddef>
#include <cstdint>
#include <string>

// "NTFS", "exFAT", "FAT32", "FAT" or empty.
std::string FileSystemOfBootSector(const uint8_t* sector, size_t length);
