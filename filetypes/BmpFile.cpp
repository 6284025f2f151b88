#include "filetypes/BmpFile.h"

#include <cstdlib>

namespace {
// BMP file header offsets.
constexpr size_t kFileSize = 2;
constexpr size_t kReserved = 6;
constexpr size_t kPixelOffset = 10;
constexpr size_t kDibHeaderSize = 14;
// The DIB header after it: OS/2 1.x's of 16-bit fields, the others' of 32-bit ones.
constexpr size_t kOs2Width = 18;
constexpr size_t kOs2Height = 20;
constexpr size_t kOs2BitCount = 24;
constexpr size_t kWidth = 18;
constexpr size_t kHeight = 22;
constexpr size_t kBitCount = 28;
constexpr size_t kCompression = 30;
constexpr size_t kHeaderBytes = 34;
constexpr uint32_t kOs2V1HeaderSize = 12;
constexpr uint32_t kOs2V2ShortHeaderSize = 16;
// Uncompressed rows, plain or with bit fields; the others' lengths only the header gives.
constexpr uint32_t kRgb = 0, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6;
// A stated size past what the pixels need by more than this is no BMP's.
constexpr uint64_t kMaxSlack = 64 * 1024;
constexpr uint64_t kMaxBmpSize = 1ull << 30;

bool IsKnownDibHeaderSize(uint32_t size) {
  switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124:
      return true;
    default:
      return false;
  }
}

bool IsBitCount(uint32_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// The bytes the pixel rows take, rows padded to 4 bytes; 0 when the header
// does not say (a compressed picture) or holds no picture.
uint64_t PixelBytes(ByteSpan data, uint32_t dibSize, uint32_t* bits) {
  uint64_t width = 0, height = 0;
  uint32_t compression = kRgb;
  if (dibSize == kOs2V1HeaderSize) {
    width = LE16(data, kOs2Width);
    height = LE16(data, kOs2Height);
    *bits = LE16(data, kOs2BitCount);
  } else {
    width = static_cast<uint64_t>(std::llabs(static_cast<int32_t>(LE32(data, kWidth))));
    height = static_cast<uint64_t>(std::llabs(static_cast<int32_t>(LE32(data, kHeight))));
    *bits = LE16(data, kBitCount);
    if (dibSize > kOs2V2ShortHeaderSize) compression = LE32(data, kCompression);
  }
  // A JPEG or PNG inside says nothing of its bits per pixel.
  if (dibSize > kOs2V2ShortHeaderSize && (compression == kJpeg || compression == kPng) && *bits == 0) *bits = 8;
  // Wider or taller than any BMP writer makes: no BMP's header.
  constexpr uint64_t kMaxSide = 1u << 20;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || !IsBitCount(*bits)) return 0;
  if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) return 0;
  return height * ((width * *bits + 31) / 32 * 4);
}
}  // namespace

// The size the header states, unless the pixel rows it describes need more
// than that: then the header's size field is the one that is wrong.
std::unique_ptr<CBaseFile> CBmpFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                               CVolumeAccess* access) {
  if (!Fits(data, 0, kHeaderBytes) || data[0] != 'B' || data[1] != 'M') return nullptr;
  const uint32_t dibSize = LE32(data, kDibHeaderSize);
  // OS/2 1.x writers keep a pointer's hot spot where the others keep zeros,
  // and many give the headers' size as the file's.
  const bool os2 = dibSize == kOs2V1HeaderSize;
  if ((!os2 && LE32(data, kReserved) != 0) || !IsKnownDibHeaderSize(dibSize)) return nullptr;
  const uint32_t pixels = LE32(data, kPixelOffset);
  uint64_t size = LE32(data, kFileSize);
  uint32_t bits = 0;
  const uint64_t rows = PixelBytes(data, dibSize, &bits);
  if (!IsBitCount(bits)) return nullptr;
  if (pixels < kDibHeaderSize + dibSize || (pixels >= size && !(os2 && rows != 0))) return nullptr;
  if (rows != 0) {
    const uint64_t needed = pixels + rows;
    if (size < needed) size = needed;
    if (size > needed + kMaxSlack) return nullptr;
  }
  if (size > kMaxBmpSize) return nullptr;
  std::unique_ptr<CBmpFile> file(new CBmpFile(sector, access));
  file->EndAt(size, bytesPerSector);
  return file;
}
