#include "filetypes/BmpFile.h"

namespace {
// BMP file header offsets.
constexpr size_t kFileSize = 2;
constexpr size_t kReserved = 6;
constexpr size_t kPixelOffset = 10;
constexpr size_t kDibHeaderSize = 14;
constexpr size_t kHeaderBytes = 18;

bool IsKnownDibHeaderSize(uint32_t size) {
  switch (size) {
    case 12: case 40: case 52: case 56: case 64: case 108: case 124:
      return true;
    default:
      return false;
  }
}
}  // namespace

std::unique_ptr<CBaseFile> CBmpFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                               CVolumeAccess* access) {
  if (!Fits(data, 0, kHeaderBytes) || data[0] != 'B' || data[1] != 'M') return nullptr;
  if (LE32(data, kReserved) != 0 || !IsKnownDibHeaderSize(LE32(data, kDibHeaderSize))) return nullptr;
  const uint32_t size = LE32(data, kFileSize);
  if (LE32(data, kPixelOffset) >= size) return nullptr;
  const uint64_t lastSector = sector + (size - 1) / bytesPerSector;
  std::unique_ptr<CBmpFile> file(new CBmpFile(sector, access));
  file->lastSector = lastSector;
  file->lastByteIndex = (size - 1) % bytesPerSector;
  return file;
}
