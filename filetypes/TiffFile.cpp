#include "filetypes/TiffFile.h"

#include <algorithm>
#include <cstring>

namespace {

// TIFF offsets are 32-bit.
constexpr uint64_t kMaxTiffSize = 1ull << 32;
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
constexpr uint16_t kTagDngVersion = 0xC612;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeIfd = 13;

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
                 {"OM Digital", "orf"}, {"PENTAX", "pef"}, {"RICOH", "pef"}};
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
  // Olympus writes its own magic in place of 42.
  const bool olympus = magic == 0x4F52 || magic == 0x5352;
  if (magic != 42 && !olympus) return nullptr;
  const char* extension = olympus ? "orf" : (little && data[8] == 'C' && data[9] == 'R') ? "cr2" : "";
  std::unique_ptr<CTiffFile> file(new CTiffFile(sector, access, big, extension));
  const uint32_t first = file->Read32(data.data() + 4);
  if (first < 8) return nullptr;
  file->Expect(first, Item{ItemKind::Directory, 0, 0, 0, 0});
  return file;
}

uint32_t CTiffFile::Read16(const uint8_t* p) const { return m_bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]); }

uint32_t CTiffFile::Read32(const uint8_t* p) const {
  return m_bigEndian ? (static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                     : (static_cast<uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
}

void CTiffFile::Extend(uint64_t end) {
  if (end > kMaxTiffSize) {
    m_broken = true;
    return;
  }
  m_extent = std::max(m_extent, end);
}

void CTiffFile::Expect(uint64_t offset, Item item) {
  if (offset < 8 || offset >= kMaxTiffSize || ++m_items > kMaxItems) {
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
  for (size_t i = 0; i < p.offsets.size() && i < p.counts.size(); ++i) Extend(p.offsets[i] + p.counts[i]);
  m_hasImage = m_hasImage || !p.offsets.empty();
  m_pairs.erase(pair);
}

bool CTiffFile::ReadDirectory(const SectorView& view, int64_t rel, uint64_t offset, int depth, bool* waiting) {
  uint8_t count[2];
  if (!view.Read(rel, 2, count)) return *waiting = true;
  const uint32_t entries = Read16(count);
  if (entries == 0 || entries > kMaxDirectoryEntries) return false;
  std::vector<uint8_t> directory(2 + 12 * entries + 4);
  if (!view.Read(rel, directory.size(), directory.data())) return *waiting = true;
  Extend(offset + directory.size());
  // Strip or tile offsets and their byte counts, inline or as arrays.
  const uint32_t pair = m_nextPair++;
  for (uint32_t e = 0; e < entries; ++e) {
    const uint8_t* entry = directory.data() + 2 + 12 * e;
    const uint16_t tag = static_cast<uint16_t>(Read16(entry));
    const uint16_t type = static_cast<uint16_t>(Read16(entry + 2));
    const uint32_t n = Read32(entry + 4);
    const uint32_t value = Read32(entry + 8);
    if (type == 0 || type > 18) return false;
    const uint64_t size = static_cast<uint64_t>(UnitSize(type)) * n;
    if (size > 4) Extend(value + size);
    switch (tag) {
      case kTagStripOffsets:
      case kTagTileOffsets:
      case kTagStripByteCounts:
      case kTagTileByteCounts: {
        const bool offsets = tag == kTagStripOffsets || tag == kTagTileOffsets;
        if ((type != kTypeShort && type != kTypeLong) || n == 0 || n > kMaxArrayEntries) return false;
        Pair& p = m_pairs[pair];
        if (size <= 4) {
          const uint64_t v = type == kTypeShort ? Read16(entry + 8) : value;
          (offsets ? p.offsets : p.counts).push_back(v);
          (offsets ? p.haveOffsets : p.haveCounts) = true;
        } else {
          Expect(value, Item{offsets ? ItemKind::Offsets : ItemKind::Counts, n, type, pair, depth});
        }
        break;
      }
      case kTagSubDirectories:
      case kTagExifDirectory:
        if (depth >= kMaxDepth) break;
        if (n == 1) {
          Expect(value, Item{ItemKind::Directory, 0, 0, 0, depth + 1});
        } else if ((type == kTypeLong || type == kTypeIfd) && n <= 64) {
          uint8_t list[64 * 4];
          if (!view.Read(static_cast<int64_t>(value) - static_cast<int64_t>(offset) + rel, 4 * n, list)) break;
          for (uint32_t i = 0; i < n; ++i) Expect(Read32(list + 4 * i), Item{ItemKind::Directory, 0, 0, 0, depth + 1});
        }
        break;
      case kTagThumbnailOffset:
        for (uint32_t k = 0; k < entries; ++k) {
          const uint8_t* other = directory.data() + 2 + 12 * k;
          if (Read16(other) == kTagThumbnailLength) {
            Extend(static_cast<uint64_t>(value) + Read32(other + 8));
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
          const int64_t at = size <= 4 ? rel + 2 + 12 * e + 8 : static_cast<int64_t>(value) - static_cast<int64_t>(offset) + rel;
          if (view.Read(at, n, reinterpret_cast<uint8_t*>(make))) m_extension = ExtensionOfMake(make, n);
        }
        break;
      default:
        break;
    }
  }
  FinishPair(pair);
  const uint32_t following = Read32(directory.data() + 2 + 12 * entries);
  if (following != 0 && depth < kMaxDepth) Expect(following, Item{ItemKind::Directory, 0, 0, 0, depth + 1});
  return true;
}

bool CTiffFile::ReadArray(const SectorView& view, int64_t rel, const Item& item, bool* waiting) {
  const uint32_t unit = UnitSize(item.type);
  std::vector<uint8_t> bytes(static_cast<size_t>(unit) * item.count);
  if (!view.Read(rel, bytes.size(), bytes.data())) return *waiting = true;
  Pair& p = m_pairs[item.pair];
  std::vector<uint64_t>& values = item.kind == ItemKind::Offsets ? p.offsets : p.counts;
  for (uint32_t i = 0; i < item.count; ++i) {
    values.push_back(unit == 2 ? Read16(bytes.data() + 2 * i) : Read32(bytes.data() + 4 * i));
  }
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
