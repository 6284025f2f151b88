#include "platform/BootSector.h"

#include <cstring>

namespace {
constexpr size_t kOemName = 3;           // NTFS and exFAT name themselves here
constexpr size_t kFat32TypeName = 0x52;  // "FAT32   "
constexpr size_t kFatTypeName = 0x36;    // "FAT12   ", "FAT16   ", "FAT     "

bool NameAt(const uint8_t* sector, size_t length, size_t offset, const char* name) {
  const size_t n = std::strlen(name);
  return sector != nullptr && offset + n <= length && std::memcmp(sector + offset, name, n) == 0;
}
}  // namespace

std::string FileSystemOfBootSector(const uint8_t* sector, size_t length) {
  if (NameAt(sector, length, kOemName, "NTFS    ")) return "NTFS";
  if (NameAt(sector, length, kOemName, "EXFAT   ")) return "exFAT";
  if (NameAt(sector, length, kFat32TypeName, "FAT32   ")) return "FAT32";
  if (NameAt(sector, length, kFatTypeName, "FAT")) return "FAT";
  return "";
}
