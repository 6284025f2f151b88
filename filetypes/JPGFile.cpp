#include "filetypes/JPGFile.h"

#include <algorithm>
#include <cstring>

#include "filetypes/WalkedFile.h"

namespace {
constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kApp2 = 0xE2;

// A Start Of Scan segment holds 1 to 4 components: 6 + 2 bytes each.
constexpr uint32_t kMinScanHeader = 8;
constexpr uint32_t kMaxScanHeader = 14;

// MPF (CIPA DC-007): "MPF\0", then a TIFF-style header the offsets count from.
constexpr size_t kMpfIdentifier = 4;
constexpr uint16_t kTagMpEntry = 0xB002;
constexpr size_t kMpEntrySize = 16;
constexpr size_t kMpEntryLength = 4;
constexpr size_t kMpEntryOffset = 8;
constexpr uint32_t kMaxMpImages = 64;
// Further images follow the first closely; a listed one further off is no part of it.
constexpr uint64_t kMaxImageGap = 1u << 20;
constexpr uint64_t kMaxImagesEnd = 1ull << 30;
// No camera's preview is larger: a listed image past this is no part of it.
constexpr uint64_t kMaxImageLength = 64ull << 20;
constexpr uint32_t kMaxAppendedImages = 8;
// A header this long, cut off, is kept as a picture cut short.
constexpr uint64_t kLongHeader = 4096;

// Markers followed by a length: frames, tables, application data, comments.
bool HasLength(uint8_t marker) {
  return (marker >= 0xC0 && marker <= 0xCF) || (marker >= 0xDB && marker <= 0xFE);
}
bool StandsAlone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }
bool IsFrame(uint8_t marker) { return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC; }

// Tables and frames have lengths their content fixes: one that cannot be
// is damage, and stepping over it would carry the picture over other files.
constexpr uint32_t kMaxQuantTables = 2 + 4 * (1 + 128);
constexpr uint32_t kMaxHuffmanTables = 2 + 8 * (17 + 256);
bool SegmentLengthFits(uint8_t marker, uint32_t length, uint8_t components) {
  if (IsFrame(marker)) return components != 0 && length == 8 + 3u * components;
  switch (marker) {
    case 0xDB: return length >= 2 + 65 && length <= kMaxQuantTables;
    case 0xC4: return length >= 2 + 17 && length <= kMaxHuffmanTables;
    case 0xDD: return length == 4;
    default: return true;
  }
}
// Writers that miscount an application segment's length by a few bytes
// leave the next marker just before or after where it says.
constexpr int64_t kResyncReach = 8;

}  // namespace

// Pictures open with an application segment (JFIF, EXIF, MPF, Photoshop's,
// Adobe's), a comment or a table. JFIF and EXIF must name themselves; for
// every start the marker after the first segment must be where its length says.
std::unique_ptr<CBaseFile> CJPGFile::TryCreate(ByteSpan data, uint64_t sector, CVolumeAccess* access) {
  if (!Fits(data, 0, 10) || data[0] != 0xFF || data[1] != kStartOfImage || data[2] != kMarker) return nullptr;
  const uint8_t marker = data[3];
  const bool opens = (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE || marker == 0xDB || marker == 0xC4 ||
                     marker == 0xDD;
  if (!opens) return nullptr;
  if (marker == 0xE0 && std::memcmp(data.data() + 6, "JFIF", 4) != 0 && std::memcmp(data.data() + 6, "JFXX", 4) != 0) {
    return nullptr;
  }
  if (marker == 0xE1 && std::memcmp(data.data() + 6, "Exif", 4) != 0 && std::memcmp(data.data() + 6, "http", 4) != 0) {
    return nullptr;
  }
  const size_t next = 4 + (static_cast<size_t>(data[4]) << 8 | data[5]);
  // A named segment that runs past the first cluster may end in a later
  // piece: its length alone is checked.
  const bool named = marker == 0xE0 || marker == 0xE1;
  if (next < 6 || (Fits(data, next, 1) && data[next] != kMarker && !(named && next >= kLongHeader))) return nullptr;
  return std::unique_ptr<CBaseFile>(new CJPGFile(sector, access));
}

int32_t CJPGFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector, uint64_t) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  for (bool more = true; more && m_phase != Phase::Done;) {
    switch (m_phase) {
      case Phase::Markers: more = m_pos < end && StepMarker(view, base, bytesPerSector); break;
      case Phase::Entropy: more = m_pos < end && StepEntropy(view, base, end); break;
      case Phase::Images: more = StepImages(view, base, end); break;
      case Phase::Done: break;
    }
  }
  if (m_cutAt != 0) {
    // Broken before any picture data: not a JPEG, unless its header ran on
    // over more than a cluster's worth (its rest may lie in a later piece).
    if (m_scans == 0 && m_cutAt < kLongHeader) return -1;
    EndAt(m_cutAt, bytesPerSector);
    return kTypeJpg;
  }
  if (m_phase != Phase::Done) return 0;
  EndAt(m_end, bytesPerSector);
  return lastSector <= sector ? kTypeJpg : 0;
}

// Sectors inside a segment or a further image are the picture's own; in the
// entropy-coded data another file's start means this one was cut there.
bool CJPGFile::HoldsSector(uint64_t sector, uint32_t bytesPerSector) const {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  switch (m_phase) {
    case Phase::Markers: return base < m_pos;
    case Phase::Entropy: return false;
    case Phase::Images: return base < m_images.back().offset + m_images.back().length;
    case Phase::Done: return m_cutAt == 0 && base < m_end;
  }
  return false;
}

int32_t CJPGFile::EndWhereCut(uint64_t sector, uint32_t bytesPerSector) {
  const uint64_t cut = SectorBase(sector, bytesPerSector);
  if (m_scans == 0 && std::min(m_pos, cut) < kLongHeader) return -1;
  if (m_phase == Phase::Images || (m_phase == Phase::Done && m_cutAt == 0)) {
    // The first picture is whole; only the previews after it are cut off.
    m_phase = Phase::Done;
    EndAt(std::min(m_end, cut), bytesPerSector);
    if (m_end > cut) m_cutAt = cut;
    return kTypeJpg;
  }
  m_cutAt = std::min(std::max<uint64_t>(m_pos, 2), cut);
  m_phase = Phase::Done;
  EndAt(m_cutAt, bytesPerSector);
  return kTypeJpg;
}

bool CJPGFile::StepMarker(const SectorView& view, uint64_t base, uint32_t bytesPerSector) {
  const int64_t rel = static_cast<int64_t>(m_pos) - static_cast<int64_t>(base);
  uint8_t p[10];
  // Bytes ahead arrive with the next run; bytes behind that memory lost are gone.
  if (!view.Read(rel, 2, p)) return rel < 0 ? (Break(), true) : false;
  if (p[0] != kMarker) {
    if (m_scans != 0 || !Resync(view, base)) return Break(), true;
    return true;
  }
  const uint8_t marker = p[1];
  if (marker == kMarker) {  // fill byte
    ++m_pos;
    return true;
  }
  if (marker == kEndOfImage) {
    if (m_scans == 0) return Break(), true;
    m_pos += 2;
    // Another picture right after this one, not at a sector start, can only
    // be this file's own (a camera's second image): it goes on through it.
    if (m_pos % bytesPerSector != 0 && m_appended < kMaxAppendedImages && m_images.empty()) {
      if (!view.Read(rel + 2, 3, p)) return rel < 0 ? (EndImage(), true) : (m_pos -= 2, false);
      if (p[0] == kMarker && p[1] == kStartOfImage && p[2] == kMarker) {
        ++m_appended;
        m_pos += 2;
        return true;
      }
    }
    EndImage();
    return true;
  }
  if (StandsAlone(marker)) {
    m_pos += 2;
    return true;
  }
  if (!HasLength(marker) && marker != kStartOfScan) return Break(), true;
  if (!view.Read(rel, 4, p)) return rel < 0 ? (Break(), true) : false;
  const uint32_t length = static_cast<uint32_t>(p[2] << 8 | p[3]);
  if (length < 2) return Break(), true;
  if (IsFrame(marker) && !view.Read(rel, 10, p)) return rel < 0 ? (Break(), true) : false;
  if (!SegmentLengthFits(marker, length, IsFrame(marker) ? p[9] : 0)) return Break(), true;
  if (marker == kStartOfScan) {
    if (length < kMinScanHeader || length > kMaxScanHeader) return Break(), true;
    ++m_scans;
    m_pos += 2 + length;
    m_phase = Phase::Entropy;
    return true;
  }
  if (marker == kApp2 && m_scans == 0 && m_images.empty() && length >= 2 + kMpfIdentifier + 8) {
    if (!view.Read(rel + 4, kMpfIdentifier, p)) return rel < 0 ? (Break(), true) : false;
    if (std::memcmp(p, "MPF\0", kMpfIdentifier) == 0) {
      if (!view.Holds(rel, 2 + length)) return rel < 0 ? (Break(), true) : false;
      m_mpfBase = m_pos + 4 + kMpfIdentifier;
      ReadMpf(view, rel + 4 + static_cast<int64_t>(kMpfIdentifier), length - 2 - kMpfIdentifier);
    }
  }
  m_segment = m_pos;
  m_pos += 2 + length;
  return true;
}

// The nearest marker within reach of where the last segment's length led,
// past that segment's own header, whose length leads to another marker.
bool CJPGFile::Resync(const SectorView& view, uint64_t base) {
  for (int64_t step = 1; step <= kResyncReach; ++step) {
    for (const int64_t delta : {-step, step}) {
      const int64_t at = static_cast<int64_t>(m_pos) + delta;
      if (at < static_cast<int64_t>(m_segment) + 4) continue;
      const int64_t rel = at - static_cast<int64_t>(base);
      uint8_t p[4];
      if (!view.Read(rel, 4, p) || p[0] != kMarker || !(HasLength(p[1]) || p[1] == kStartOfScan)) continue;
      const uint32_t length = static_cast<uint32_t>(p[2] << 8 | p[3]);
      uint8_t next[2];
      if (length < 2 || !view.Read(rel + 2 + length, 2, next) || next[0] != kMarker) continue;
      m_pos = static_cast<uint64_t>(at);
      return true;
    }
  }
  return false;
}

// Stuffed FF 00, restart markers and fill bytes belong to the scan; any
// other marker ends it.
bool CJPGFile::StepEntropy(const SectorView& view, uint64_t base, uint64_t end) {
  while (m_pos < end) {
    const int64_t rel = static_cast<int64_t>(m_pos) - static_cast<int64_t>(base);
    if (rel >= 0) {
      const ByteSpan bytes = view.From(rel);
      if (bytes.empty()) return false;
      const size_t limit = static_cast<size_t>(std::min<uint64_t>(bytes.size(), end - m_pos));
      const void* ff = std::memchr(bytes.data(), kMarker, limit);
      if (ff == nullptr) {
        m_pos += limit;
        return true;
      }
      m_pos += static_cast<const uint8_t*>(ff) - bytes.data();
    }
    uint8_t p[2];
    const int64_t at = static_cast<int64_t>(m_pos) - static_cast<int64_t>(base);
    if (!view.Read(at, 2, p)) return at < 0 ? (Break(), true) : false;
    if (p[0] != kMarker) {
      ++m_pos;
    } else if (p[1] == 0x00 || (p[1] >= 0xD0 && p[1] <= 0xD7)) {
      m_pos += 2;
    } else if (p[1] == kMarker) {
      ++m_pos;
    } else {
      m_phase = Phase::Markers;
      return true;
    }
  }
  return true;
}

// The MP Index IFD's entries: the first is this picture, the others lie after it.
bool CJPGFile::ReadMpf(const SectorView& view, int64_t rel, uint32_t length) {
  std::vector<uint8_t> mpf(length);
  if (!view.Read(rel, length, mpf.data())) return false;
  const bool big = mpf[0] == 'M' && mpf[1] == 'M';
  if (!big && !(mpf[0] == 'I' && mpf[1] == 'I')) return false;
  if (Ordered16(mpf.data() + 2, big) != 42) return false;
  const uint32_t ifd = Ordered32(mpf.data() + 4, big);
  if (ifd < 8 || static_cast<uint64_t>(ifd) + 2 > length) return false;
  const uint32_t entries = Ordered16(mpf.data() + ifd, big);
  if (static_cast<uint64_t>(ifd) + 2 + 12ull * entries > length) return false;
  for (uint32_t e = 0; e < entries; ++e) {
    const uint8_t* entry = mpf.data() + ifd + 2 + 12 * e;
    if (Ordered16(entry, big) != kTagMpEntry) continue;
    const uint32_t bytes = Ordered32(entry + 4, big);
    const uint32_t at = Ordered32(entry + 8, big);
    const uint32_t images = bytes / kMpEntrySize;
    if (bytes % kMpEntrySize != 0 || images < 2 || images > kMaxMpImages) return false;
    if (static_cast<uint64_t>(at) + bytes > length) return false;
    for (uint32_t i = 1; i < images; ++i) {
      const uint8_t* image = mpf.data() + at + kMpEntrySize * i;
      const uint32_t size = Ordered32(image + kMpEntryLength, big);
      const uint32_t offset = Ordered32(image + kMpEntryOffset, big);
      if (size == 0 || offset == 0) continue;
      m_images.push_back({m_mpfBase + offset, size});
    }
  }
  std::sort(m_images.begin(), m_images.end(), [](const Image& a, const Image& b) { return a.offset < b.offset; });
  return true;
}

void CJPGFile::EndImage() {
  m_end = m_pos;
  // Only images that follow this one closely, one after another, are taken.
  uint64_t previous = m_end;
  size_t kept = 0;
  while (kept < m_images.size()) {
    const Image& image = m_images[kept];
    if (image.offset < previous || image.offset - previous > kMaxImageGap || image.length > kMaxImageLength ||
        image.offset + image.length > kMaxImagesEnd) {
      break;
    }
    previous = image.offset + image.length;
    ++kept;
  }
  m_images.resize(kept);
  m_phase = m_images.empty() ? Phase::Done : Phase::Images;
}

// Each further image must start with its own Start Of Image where the MPF
// segment says; the first that does not ends the file before it.
bool CJPGFile::StepImages(const SectorView& view, uint64_t base, uint64_t end) {
  if (m_nextImage >= m_images.size()) {
    m_phase = Phase::Done;
    return true;
  }
  const Image& image = m_images[m_nextImage];
  if (image.offset + 3 > end) return false;
  const int64_t rel = static_cast<int64_t>(image.offset) - static_cast<int64_t>(base);
  uint8_t p[3];
  if (!view.Read(rel, 3, p) || p[0] != kMarker || p[1] != kStartOfImage || p[2] != kMarker) {
    m_images.resize(m_nextImage);
    m_phase = Phase::Done;
    return true;
  }
  m_end = image.offset + image.length;
  ++m_nextImage;
  return true;
}
