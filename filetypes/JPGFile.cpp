#include "filetypes/JPGFile.h"

#include <cstring>


namespace {
constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kEndOfImage = 0xD9;

struct JpegStart {
  uint8_t marker;        // the marker after Start Of Image
  const char* identifier;  // at bytes 6 to 9, or null
};
constexpr JpegStart kJpegStarts[] = {{0xDB, nullptr}, {0xE0, "JFIF"}, {0xE1, "Exif"}};

uint32_t TiffUnitSize(uint32_t type) {
  switch (type) {
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
    default: return 1;
  }
}
}  // namespace

std::unique_ptr<CBaseFile> CJPGFile::TryCreate(ByteSpan data, uint64_t sector, CVolumeAccess* access) {
  if (!Fits(data, 0, 10) || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return nullptr;
  for (const JpegStart& start : kJpegStarts) {
    if (data[3] != start.marker) continue;
    if (start.identifier && std::memcmp(data.data() + 6, start.identifier, 4) != 0) return nullptr;
    return std::unique_ptr<CBaseFile>(new CJPGFile(sector, access));
  }
  return nullptr;
}

int32_t CJPGFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector, uint64_t) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  // Segments up to the Start Of Scan, by their lengths; a header that straddles
  // the end of the run is read when the next run arrives.
  while (!m_scanStarted && m_nextMarker <= end) {
    uint8_t p[4];
    if (!view.Read(static_cast<int64_t>(m_nextMarker - base), 4, p)) return 0;
    if (p[0] != kMarker) return -1;
    if (p[1] == kStartOfScan) {
      m_scanStarted = true;
      break;
    }
    m_nextMarker += (p[2] << 8 | p[3]) + 2u;
  }
  return m_scanStarted ? FindEnd(sector, view, bytesPerSector) : 0;
}

// The End Of Image marker as the last non-zero bytes of the sector; its FF may
// be the last byte of the sector before.
int32_t CJPGFile::FindEnd(uint64_t sector, const SectorView& view, uint32_t bytesPerSector) {
  const ByteSpan s = view.Sector(bytesPerSector);
  for (size_t i = bytesPerSector; i-- > 0;) {
    if (s[i] == 0) continue;
    if (s[i] != kEndOfImage) return 0;
    uint8_t before = 0;
    if (i > 0) {
      before = s[i - 1];
    } else if (sector == firstSector || !view.Read(-1, 1, &before)) {
      return 0;
    }
    if (before != kMarker) return 0;
    lastSector = sector;
    lastByteIndex = static_cast<uint32_t>(i);
    return kTypeJpg;
  }
  return 0;
}

std::unique_ptr<CBaseFile> CTiffFile::TryCreate(ByteSpan data, uint64_t sector, CVolumeAccess* access) {
  if (!Fits(data, 0, 8)) return nullptr;
  const bool little = data[0] == 0x49 && data[1] == 0x49 && data[2] == 0x2A && data[3] == 0x00;
  const bool big = data[0] == 0x4D && data[1] == 0x4D && data[2] == 0x00 && data[3] == 0x2A;
  if (!little && !big) return nullptr;
  std::unique_ptr<CTiffFile> file(new CTiffFile(sector, access, big, 0));
  file->m_nextDirectory = file->Read32(data.data() + 4);
  return file;
}

uint32_t CTiffFile::Read16(const uint8_t* p) const {
  return m_bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

uint32_t CTiffFile::Read32(const uint8_t* p) const {
  return m_bigEndian ? (static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                     : (static_cast<uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
}

int32_t CTiffFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector, uint64_t) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  while (!m_chainEnded && m_nextDirectory <= end) {
    const int64_t rel = static_cast<int64_t>(m_nextDirectory) - static_cast<int64_t>(base);
    uint8_t count[2];
    if (!view.Read(rel, 2, count)) return 0;
    const uint32_t entries = Read16(count);
    // The whole directory must be in memory before it is walked.
    uint8_t next[4];
    if (!view.Read(rel + 2 + 12 * static_cast<int64_t>(entries), 4, next)) return 0;
    for (uint32_t e = 0; e < entries; ++e) {
      uint8_t entry[12];
      view.Read(rel + 2 + 12 * static_cast<int64_t>(e), 12, entry);
      const uint64_t size = static_cast<uint64_t>(TiffUnitSize(Read16(entry + 2))) * Read32(entry + 4);
      const uint32_t value = Read32(entry + 8);
      if (size > 4 && value > m_largestExtent) m_largestExtent = value + size;
    }
    const uint32_t following = Read32(next);
    if (following == 0) {
      m_chainEnded = true;
      break;
    }
    // A chain that points back to itself or an earlier directory has ended.
    if (following <= m_nextDirectory) {
      m_chainEnded = true;
      break;
    }
    m_nextDirectory = following;
  }
  return 0;
}
