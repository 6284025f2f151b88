#include "filetypes/RarFile.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

constexpr char kRar4Marker[] = "Rar!\x1A\x07\x00";
constexpr char kRar5Marker[] = "Rar!\x1A\x07\x01\x00";
constexpr uint64_t kMaxArchiveSize = 1ull << 40;

// RAR 4 block header: CRC-16 (low half of a CRC-32), type, flags, size.
constexpr size_t kRar4BaseSize = 7;
constexpr uint8_t kRar4FirstType = 0x72;
constexpr uint8_t kRar4FileType = 0x74;
constexpr uint8_t kRar4SubType = 0x7A;
constexpr uint8_t kRar4EndType = 0x7B;
constexpr uint16_t kRar4HasAddSize = 0x8000;
constexpr uint16_t kRar4LargeFile = 0x0100;
constexpr size_t kRar4HighPackSize = 32;

// RAR 5 block header: CRC-32, then size, type and flags as variable-length integers.
constexpr uint64_t kRar5MaxHeader = 2u << 20;
constexpr uint64_t kRar5HasExtra = 0x01;
constexpr uint64_t kRar5HasData = 0x02;
constexpr uint64_t kRar5EncryptionType = 4;
constexpr uint64_t kRar5EndType = 5;

uint32_t Crc32(const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), p, static_cast<uInt>(n))); }

// A RAR 5 variable-length integer: seven bits a byte, low first; false past
// ten bytes or the span's end.
bool ReadVint(ByteSpan s, size_t* at, uint64_t* value) {
  *value = 0;
  for (uint32_t shift = 0; shift < 70 && *at < s.size(); shift += 7) {
    const uint8_t b = s[(*at)++];
    if (shift == 63 && (b & 0x7E) != 0) return false;
    *value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return true;
  }
  return false;
}

}  // namespace

CRarFile::CRarFile(uint64_t sector, CVolumeAccess* access, bool five, uint64_t markerSize)
    : CWalkedFile(sector, access, markerSize, kMaxArchiveSize), m_five(five) {}

std::unique_ptr<CBaseFile> CRarFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (Fits(data, 0, 8) && std::memcmp(data.data(), kRar5Marker, 8) == 0) {
    return std::unique_ptr<CBaseFile>(new CRarFile(sector, access, true, 8));
  }
  if (Fits(data, 0, 7) && std::memcmp(data.data(), kRar4Marker, 7) == 0) {
    return std::unique_ptr<CBaseFile>(new CRarFile(sector, access, false, 7));
  }
  return nullptr;
}

CWalkedFile::Step CRarFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  return m_five ? StepRar5(view, rel, offset, next) : StepRar4(view, rel, offset, next);
}

CWalkedFile::Step CRarFile::StepRar4(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint8_t base[kRar4BaseSize];
  if (!view.Read(rel, sizeof base, base)) return Step::Wait;
  const ByteSpan b(base, sizeof base);
  const uint8_t type = base[2];
  const uint16_t flags = LE16(b, 3);
  const uint16_t size = LE16(b, 5);
  if (type < kRar4FirstType || type > kRar4EndType || size < kRar4BaseSize) return Step::Reject;
  if (!view.Holds(rel, size)) return Step::Wait;
  std::vector<uint8_t> header(size);
  view.Read(rel, size, header.data());
  if ((Crc32(header.data() + 2, size - 2u) & 0xFFFF) != LE16(b, 0)) return Step::Reject;
  const ByteSpan h(header);
  uint64_t data = 0;
  if (flags & kRar4HasAddSize) {
    if (size < kRar4BaseSize + 4) return Step::Reject;
    data = LE32(h, kRar4BaseSize);
    const bool large = (type == kRar4FileType || type == kRar4SubType) && (flags & kRar4LargeFile);
    if (large) {
      if (!Fits(h, kRar4HighPackSize, 4)) return Step::Reject;
      data |= static_cast<uint64_t>(LE32(h, kRar4HighPackSize)) << 32;
    }
  }
  *next = offset + size + data;
  return type == kRar4EndType ? Step::End : Step::Next;
}

CWalkedFile::Step CRarFile::StepRar5(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint8_t start[4 + 3];
  if (!view.Read(rel, sizeof start, start)) return Step::Wait;
  size_t at = 4;
  uint64_t headerSize = 0;
  if (!ReadVint(ByteSpan(start, sizeof start), &at, &headerSize) || headerSize == 0 || headerSize > kRar5MaxHeader) {
    return Step::Reject;
  }
  const size_t total = at + static_cast<size_t>(headerSize);
  if (!view.Holds(rel, total)) return Step::Wait;
  std::vector<uint8_t> header(total);
  view.Read(rel, total, header.data());
  const ByteSpan h(header);
  if (Crc32(header.data() + 4, total - 4) != LE32(h, 0)) return Step::Reject;
  uint64_t type = 0, flags = 0, extra = 0, data = 0;
  if (!ReadVint(h, &at, &type) || !ReadVint(h, &at, &flags)) return Step::Reject;
  if ((flags & kRar5HasExtra) && !ReadVint(h, &at, &extra)) return Step::Reject;
  if ((flags & kRar5HasData) && !ReadVint(h, &at, &data)) return Step::Reject;
  // Past an encryption header the blocks cannot be read.
  if (type == 0 || type > kRar5EndType || type == kRar5EncryptionType || data > kMaxArchiveSize) return Step::Reject;
  *next = offset + total + data;
  return type == kRar5EndType ? Step::End : Step::Next;
}
