#include "filetypes/TiffFile.h"

#include "filetypes/WalkedFile.h"

#include <algorithm>
#include <cstring>

namespace {

// A BigTIFF is bounded as a carved file; a classic one by its 32-bit offsets.
constexpr uint64_t kMaxBigTiffSize = 1ull << 36;
constexpr uint16_t kClassic = 42;
constexpr uint16_t kBigTiff = 43;
constexpr uint32_t kMaxDirectoryEntries = 4096;
constexpr uint32_t kMaxArrayEntries = 1u << 20;
constexpr uint32_t kMaxItems = 100000;
constexpr int kMaxDepth = 32;

constexpr uint16_t kTagMake = 0x010F;
constexpr uint16_t kTagStripOffsets = 0x0111;
constexpr uint16_t kTagStripByteCounts = 0x0117;
constexpr uint16_t kTagTileOffsets = 0x0144;
constexpr uint16_t kTagTileByteCounts = 0x0145;
constexpr uint16_t kTagSubDirectories = 0x014A;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
constexpr uint16_t kTagExifDirectory = 0x8769;
constexpr uint16_t kTagGpsDirectory = 0x8825;
constexpr uint16_t kTagInteropDirectory = 0xA005;
constexpr uint16_t kTagDngVersion = 0xC612;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeIfd = 13;
constexpr uint16_t kTypeLong8 = 16;
constexpr uint16_t kTypeIfd8 = 18;
constexpr uint16_t kMaxType = 18;

uint32_t UnitSize(uint32_t type) {
  switch (type) {
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
    default: return 1;
  }
}

// The maker's RAW extension, by the Make tag's first letters.
const char* ExtensionOfMake(const char* make, size_t length) {
  static constexpr struct {
    const char* make;
    const char* extension;
  } kMakers[] = {{"Canon", "cr2"}, {"NIKON", "nef"}, {"SONY", "arw"}, {"OLYMPUS", "orf"},
                 {"OM Digital", "orf"}, {"PENTAX", "pef"}, {"RICOH", "pef"}, {"SAMSUNG", "srw"}};
  for (const auto& m : kMakers) {
    const size_t n = std::strlen(m.make);
    if (length >= n && std::memcmp(make, m.make, n) == 0) return m.extension;
  }
  return "";
}

}  // namespace

std::unique_ptr<CBaseFile> CTiffFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 16)) return nullptr;
  const bool little = data[0] == 'I' && data[1] == 'I';
  const bool big = data[0] == 'M' && data[1] == 'M';
  if (!little && !big) return nullptr;
  const uint16_t magic = little ? LE16(data, 2) : static_cast<uint16_t>(data[2] << 8 | data[3]);
  // Olympus writes its own magic in place of 42, Panasonic 0x55.
  const bool olympus = magic == 0x4F52 || magic == 0x5352;
  const bool panasonic = little && magic == 0x0055;
  const bool bigTiff = magic == kBigTiff;
  if (magic != kClassic && !olympus && !panasonic && !bigTiff) return nullptr;
  const char* extension = olympus     ? "orf"
                          : panasonic ? "rw2"
                          : (little && data[8] == 'C' && data[9] == 'R') ? "cr2"
                                                                          : "";
  std::unique_ptr<CTiffFile> file(new CTiffFile(sector, access, big, bigTiff, extension));
  uint64_t first = 0;
  if (bigTiff) {
    // The offsets' size (8) and a reserved 0 follow the magic.
    if (file->Read16(data.data() + 4) != 8 || file->Read16(data.data() + 6) != 0) return nullptr;
    first = file->Read64(data.data() + 8);
    file->m_maxSize = kMaxBigTiffSize;
    file->m_extent = 16;
  } else {
    first = file->Read32(data.data() + 4);
  }
  if (first < 8) return nullptr;
  file->Expect(first, Item{ItemKind::Directory, 0, 0, 0, 0});
  return file;
}

uint32_t CTiffFile::Read16(const uint8_t* p) const { return Ordered16(p, m_bigEndian); }
uint32_t CTiffFile::Read32(const uint8_t* p) const { return Ordered32(p, m_bigEndian); }
uint64_t CTiffFile::Read64(const uint8_t* p) const { return Ordered64(p, m_bigEndian); }

uint64_t CTiffFile::ReadValue(const uint8_t* p, uint16_t type) const {
  switch (type) {
    case kTypeShort: return Read16(p);
    case kTypeLong8:
    case kTypeIfd8: return Read64(p);
    default: return Read32(p);
  }
}

void CTiffFile::Extend(uint64_t offset, uint64_t length) {
  // Either one past the largest file this can be says it is no part of one.
  if (offset > m_maxSize || length > m_maxSize) {
    m_broken = true;
    return;
  }
  Extend(offset + length);
}

void CTiffFile::Extend(uint64_t end) {
  if (end > m_maxSize) {
    m_broken = true;
    return;
  }
  m_extent = std::max(m_extent, end);
}

void CTiffFile::Expect(uint64_t offset, Item item) {
  if (offset < 8 || offset >= m_maxSize || ++m_items > kMaxItems) {
    m_broken = true;
    return;
  }
  m_pending.emplace(offset, item);
}

void CTiffFile::FinishPair(uint32_t pair) {
  const auto found = m_pairs.find(pair);
  if (found == m_pairs.end()) return;
  Pair& p = found->second;
  if (!p.haveOffsets || !p.haveCounts) return;
  // Strips follow one another and never overlap: a count that runs past the
  // next strip's start is false (a damaged file), and only the strips' own
  // bytes are the file's.
  const size_t n = std::min(p.offsets.size(), p.counts.size());
  for (size_t i = 0; i < n; ++i) {
    uint64_t count = p.counts[i];
    if (i + 1 < n && p.offsets[i + 1] > p.offsets[i]) count = std::min(count, p.offsets[i + 1] - p.offsets[i]);
    Extend(p.offsets[i], count);
  }
  m_hasImage = m_hasImage || !p.offsets.empty();
  m_pairs.erase(pair);
}

bool CTiffFile::ReadDirectory(const SectorView& view, int64_t rel, uint64_t offset, int depth, bool* waiting) {
  uint8_t count[8];
  if (!view.Read(rel, CountSize(), count)) return *waiting = true;
  const uint64_t entries = m_bigTiff ? Read64(count) : Read16(count);
  // A directory of no entries ends the chain where it stands.
  if (entries == 0) {
    Extend(offset + CountSize() + WordSize());
    return true;
  }
  if (entries > kMaxDirectoryEntries) return false;
  const size_t inlineBytes = WordSize();
  std::vector<uint8_t> directory(CountSize() + EntrySize() * entries + WordSize());
  if (!view.Read(rel, directory.size(), directory.data())) return *waiting = true;
  Extend(offset + directory.size());
  // Strip or tile offsets and their byte counts, inline or as arrays.
  const uint32_t pair = m_nextPair++;
  for (uint64_t e = 0; e < entries; ++e) {
    const uint8_t* entry = directory.data() + CountSize() + EntrySize() * e;
    const uint8_t* field = entry + 4 + WordSize();  // the value, or the offset of the values
    const uint16_t tag = static_cast<uint16_t>(Read16(entry));
    const uint16_t type = static_cast<uint16_t>(Read16(entry + 2));
    const uint64_t n = ReadWord(entry + 4);
    const uint64_t value = ReadWord(field);
    if (type == 0 || type > kMaxType) return false;
    if (n > m_maxSize) return false;
    const uint64_t size = static_cast<uint64_t>(UnitSize(type)) * n;
    if (size > inlineBytes) Extend(value, size);
    switch (tag) {
      case kTagStripOffsets:
      case kTagTileOffsets:
      case kTagStripByteCounts:
      case kTagTileByteCounts: {
        const bool offsets = tag == kTagStripOffsets || tag == kTagTileOffsets;
        if ((type != kTypeShort && type != kTypeLong && type != kTypeLong8) || n == 0 || n > kMaxArrayEntries) {
          return false;
        }
        Pair& p = m_pairs[pair];
        if (size <= inlineBytes) {
          for (uint64_t i = 0; i < n; ++i) (offsets ? p.offsets : p.counts).push_back(ReadValue(field + i * UnitSize(type), type));
          (offsets ? p.haveOffsets : p.haveCounts) = true;
        } else {
          Expect(value, Item{offsets ? ItemKind::Offsets : ItemKind::Counts, static_cast<uint32_t>(n), type, pair, depth});
        }
        break;
      }
      case kTagSubDirectories:
      case kTagExifDirectory:
      case kTagGpsDirectory:
      case kTagInteropDirectory:
        if (depth >= kMaxDepth) break;
        if (n == 1) {
          // An inline value fills only its type's size of the field.
          Expect(ReadValue(field, type), Item{ItemKind::Directory, 0, 0, 0, depth + 1});
        } else if ((type == kTypeLong || type == kTypeIfd || type == kTypeLong8 || type == kTypeIfd8) && n <= 64) {
          uint8_t list[64 * 8];
          const size_t unit = UnitSize(type);
          const int64_t at = size <= inlineBytes ? rel + static_cast<int64_t>(field - directory.data())
                                                 : static_cast<int64_t>(value) - static_cast<int64_t>(offset) + rel;
          if (!view.Read(at, unit * n, list)) break;
          for (uint64_t i = 0; i < n; ++i) {
            Expect(ReadValue(list + unit * i, type), Item{ItemKind::Directory, 0, 0, 0, depth + 1});
          }
        }
        break;
      case kTagThumbnailOffset:
        for (uint64_t k = 0; k < entries; ++k) {
          const uint8_t* other = directory.data() + CountSize() + EntrySize() * k;
          if (Read16(other) == kTagThumbnailLength) {
            const uint8_t* length = other + 4 + WordSize();
            Extend(ReadValue(field, type), ReadValue(length, static_cast<uint16_t>(Read16(other + 2))));
            m_hasImage = true;
          }
        }
        break;
      case kTagDngVersion:
        if (depth == 0) m_extension = "dng";
        break;
      case kTagMake:
        if (depth == 0 && *m_extension == '\0' && n > 1 && n <= 64) {
          char make[64] = {};
          const int64_t at = size <= inlineBytes ? rel + static_cast<int64_t>(field - directory.data())
                                                 : static_cast<int64_t>(value) - static_cast<int64_t>(offset) + rel;
          if (view.Read(at, n, reinterpret_cast<uint8_t*>(make))) m_extension = ExtensionOfMake(make, n);
        }
        break;
      default:
        break;
    }
  }
  FinishPair(pair);
  const uint64_t following = ReadWord(directory.data() + CountSize() + EntrySize() * entries);
  if (following != 0 && depth < kMaxDepth) Expect(following, Item{ItemKind::Directory, 0, 0, 0, depth + 1});
  return true;
}

bool CTiffFile::ReadArray(const SectorView& view, int64_t rel, const Item& item, bool* waiting) {
  const uint32_t unit = UnitSize(item.type);
  std::vector<uint8_t> bytes(static_cast<size_t>(unit) * item.count);
  if (!view.Read(rel, bytes.size(), bytes.data())) return *waiting = true;
  Pair& p = m_pairs[item.pair];
  std::vector<uint64_t>& values = item.kind == ItemKind::Offsets ? p.offsets : p.counts;
  for (uint32_t i = 0; i < item.count; ++i) values.push_back(ReadValue(bytes.data() + unit * i, item.type));
  (item.kind == ItemKind::Offsets ? p.haveOffsets : p.haveCounts) = true;
  FinishPair(item.pair);
  return true;
}

int32_t CTiffFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                                 uint64_t runLimitSector) {
  if (m_ended) return sector >= lastSector ? TypeCode() : 0;
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  while (!m_pending.empty() && m_pending.begin()->first < end && !m_broken) {
    const auto [offset, item] = *m_pending.begin();
    const int64_t rel = static_cast<int64_t>(offset) - static_cast<int64_t>(base);
    bool waiting = false;
    const bool read = item.kind == ItemKind::Directory ? ReadDirectory(view, rel, offset, item.depth, &waiting)
                                                       : ReadArray(view, rel, item, &waiting);
    if (waiting) {
      // Bytes behind what memory still holds are gone; bytes ahead arrive with the next run.
      if (rel < 0) {
        m_pending.erase(m_pending.begin());
        continue;
      }
      return 0;
    }
    if (!read) return -1;
    m_pending.erase(offset);
  }
  if (m_broken) return -1;
  if (!m_pending.empty()) return 0;
  if (!m_hasImage || !m_pairs.empty()) return -1;
  m_ended = true;
  EndAt(m_extent, bytesPerSector);
  return lastSector <= std::max(sector, runLimitSector) ? TypeCode() : 0;
}

namespace {
constexpr char kRafMagic[] = "FUJIFILMCCD-RAW ";
// Offsets and lengths in the RAF header.
constexpr size_t kRafJpeg = 84;
constexpr size_t kRafCfaHeader = 92;
constexpr size_t kRafCfa = 100;
constexpr size_t kRafHeaderSize = 108;
constexpr uint64_t kMaxRafSize = 1ull << 31;

}  // namespace

std::unique_ptr<CBaseFile> CRafFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                               CVolumeAccess* access) {
  if (!Fits(data, 0, kRafHeaderSize) || std::memcmp(data.data(), kRafMagic, sizeof kRafMagic - 1) != 0) return nullptr;
  uint64_t end = kRafHeaderSize;
  for (const size_t field : {kRafJpeg, kRafCfaHeader, kRafCfa}) {
    const uint64_t offset = BE32(data.data() + field), length = BE32(data.data() + field + 4);
    if (length == 0) continue;
    if (offset < kRafHeaderSize) return nullptr;
    end = std::max(end, offset + length);
  }
  // The embedded JPEG is always there.
  if (BE32(data.data() + kRafJpeg + 4) == 0 || end > kMaxRafSize) return nullptr;
  std::unique_ptr<CRafFile> file(new CRafFile(sector, access));
  file->EndAt(end, bytesPerSector);
  return file;
}

std::unique_ptr<CBaseFile> CreateTiffOrRaf(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                           CVolumeAccess* access) {
  if (data.size() >= 4 && data[0] == 'F') return CRafFile::TryCreate(data, sector, bytesPerSector, access);
  return CTiffFile::TryCreate(data, sector, bytesPerSector, access);
}
