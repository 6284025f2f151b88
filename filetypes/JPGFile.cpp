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
