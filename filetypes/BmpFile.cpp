#include "filetypes/BmpFile.h"

#include <algorithm>
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
constexpr uint32_t kOs2V2HeaderSize = 64;
// An OS/2 bitmap array's header: "BA", its size, the next header's offset, the screen's size.
constexpr size_t kArrayNext = 6;
constexpr size_t kArrayHeaderBytes = 14;
constexpr uint32_t kMaxArrayEntries = 64;
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
  // OS/2 2.x's 3 is its Huffman coding, not bit fields.
  if (dibSize == kOs2V2HeaderSize && compression != kRgb) return 0;
  return height * ((width * *bits + 31) / 32 * 4);
}

// The size a bitmap header at offset at states, its offsets counted from the
// file's start, unless the pixel rows it describes need more than that: then
// the header's size field is the one that is wrong. 0: no bitmap header.
uint64_t StatedBitmapSize(ByteSpan data, size_t at) {
  if (!Fits(data, at, kHeaderBytes) || data[at] != 'B' || data[at + 1] != 'M') return 0;
  const ByteSpan bm = data.subspan(at);
  const uint32_t dibSize = LE32(bm, kDibHeaderSize);
  if (!IsKnownDibHeaderSize(dibSize)) return 0;
  const uint32_t pixels = LE32(bm, kPixelOffset);
  uint64_t size = LE32(bm, kFileSize);
  uint32_t bits = 0;
  const uint64_t rows = PixelBytes(bm, dibSize, &bits);
  if (!IsBitCount(bits)) return 0;
  // OS/2 writers, and some others, keep a pointer's hot spot where the rest
  // keep zeros and give the headers' size as the file's: the rows then
  // decide.
  const bool os2 = dibSize == kOs2V1HeaderSize || dibSize == kOs2V2ShortHeaderSize || dibSize == kOs2V2HeaderSize;
  const bool sizeOfHeaders =
      os2 ? size <= pixels : (size == pixels || size == kDibHeaderSize + dibSize);
  if (LE32(bm, kReserved) != 0 && !os2 && !(sizeOfHeaders && rows != 0)) return 0;
  if (pixels < at + kDibHeaderSize + dibSize || (size <= pixels && !(sizeOfHeaders && rows != 0))) return 0;
  if (rows != 0) {
    const uint64_t needed = pixels + rows;
    if (size < needed) size = needed;
    if (size > needed + kMaxSlack) return 0;
  }
  return size <= kMaxBmpSize ? size : 0;
}

// An OS/2 bitmap array: "BA" headers chained by the offset of the next one,
// each followed by its bitmap; the file ends where its last bitmap's rows do.
uint64_t BitmapArraySize(ByteSpan data) {
  uint64_t size = 0;
  uint64_t at = 0;
  for (uint32_t n = 0; n < kMaxArrayEntries; ++n) {
    if (!Fits(data, at, kArrayHeaderBytes) || data[at] != 'B' || data[at + 1] != 'A') return 0;
    const uint64_t bitmap = StatedBitmapSize(data, static_cast<size_t>(at + kArrayHeaderBytes));
    if (bitmap == 0) return 0;
    size = std::max(size, bitmap);
    const uint64_t next = LE32(data, static_cast<size_t>(at + kArrayNext));
    if (next == 0) return size;
    if (next <= at) return 0;
    at = next;
  }
  return 0;
}
}  // namespace

std::unique_ptr<CBaseFile> CBmpFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                               CVolumeAccess* access) {
  const uint64_t size = Fits(data, 0, 2) && data[1] == 'A' ? BitmapArraySize(data) : StatedBitmapSize(data, 0);
  if (size == 0) return nullptr;
  std::unique_ptr<CBmpFile> file(new CBmpFile(sector, access));
  file->EndAt(size, bytesPerSector);
  return file;
}
