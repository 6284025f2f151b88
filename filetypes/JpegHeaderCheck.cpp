#include "filetypes/JpegHeaderCheck.h"

#include <cstring>

#include "filetypes/FormatCheck.h"
#include "filetypes/WalkedFile.h"

namespace {
constexpr size_t kTiffHeader = 8;
constexpr size_t kEntrySize = 12;
constexpr uint32_t kMaxEntries = 1000;
constexpr uint16_t kMaxType = 13;
constexpr uint32_t kMaxDirectories = 8;
constexpr uint16_t kTagExifIfd = 0x8769, kTagGpsIfd = 0x8825, kTagInteropIfd = 0xA005;
constexpr uint16_t kTagThumbnailOffset = 0x0201, kTagThumbnailLength = 0x0202;
// APP0's payload "JFXX\0", then the extension code (0x10 for a JPEG
// thumbnail), then the thumbnail.
constexpr size_t kJfxxCode = 5;
constexpr size_t kJfxxThumbnail = 6;
constexpr uint8_t kJfxxJpeg = 0x10;
constexpr char kXmpNamespace[] = "http://ns.adobe.com/";
// Extended XMP: its namespace, a 32-byte GUID, the full length and this part's offset.
constexpr char kExtendedXmp[] = "http://ns.adobe.com/xmp/extension/";
constexpr size_t kExtendedXmpFields = 32 + 4 + 4;

// Old data in a thumbnail often decodes without a warning: its rows must
// also go on from each other.
bool DecodesWhole(ByteSpan jpeg) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return false;
  const JpegProbe probe = ProbeJpeg(jpeg);
  return probe.clean && probe.badAt >= jpeg.size();
}

// Text as XMP holds it: UTF-8 without control characters but white space.
bool IsText(ByteSpan bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t b = bytes[i];
    if (b < 0x80) {
      if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') return false;
      ++i;
      continue;
    }
    const size_t more = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 0;
    if (more == 0) return false;
    for (size_t k = 1; k <= more; ++k) {
      if (i + k >= bytes.size() || (bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += 1 + more;
  }
  return true;
}

bool XmpIsText(ByteSpan payload) {
  const size_t name = std::strlen(kXmpNamespace);
  if (payload.size() <= name || std::memcmp(payload.data(), kXmpNamespace, name) != 0) return false;
  const void* end = std::memchr(payload.data(), 0, payload.size());
  if (end == nullptr) return false;
  size_t text = static_cast<size_t>(static_cast<const uint8_t*>(end) - payload.data()) + 1;
  if (text == sizeof kExtendedXmp && std::memcmp(payload.data(), kExtendedXmp, sizeof kExtendedXmp) == 0) {
    text += kExtendedXmpFields;
  }
  return text < payload.size() && IsText(payload.subspan(text));
}

class CExifReader {
 public:
  CExifReader(ByteSpan tiff) : m_tiff(tiff), m_big(tiff.size() >= 2 && tiff[0] == 'M') {}

  uint32_t Count() {
    if (m_tiff.size() < kTiffHeader || Read16(2) != 42) return 0;
    uint32_t held = 0;
    uint32_t pending[kMaxDirectories] = {Read32(4)};
    uint32_t count = 1;
    for (uint32_t i = 0; i < count && i < kMaxDirectories; ++i) {
      uint32_t next = 0;
      if (!ReadDirectory(pending[i], &next, pending, &count, &held)) continue;
      ++held;
      if (next != 0 && i == 0 && count < kMaxDirectories) pending[count++] = next;  // IFD1, the thumbnail's
    }
    return held;
  }

 private:
  bool ReadDirectory(uint32_t at, uint32_t* next, uint32_t* pending, uint32_t* count, uint32_t* held) {
    if (at < kTiffHeader || static_cast<uint64_t>(at) + 2 > m_tiff.size()) return false;
    const uint32_t entries = Read16(at);
    if (entries == 0 || entries > kMaxEntries || static_cast<uint64_t>(at) + 2 + kEntrySize * entries + 4 > m_tiff.size()) {
      return false;
    }
    uint32_t thumbnail = 0, thumbnailLength = 0;
    for (uint32_t e = 0; e < entries; ++e) {
      const size_t entry = at + 2 + kEntrySize * e;
      const uint16_t tag = static_cast<uint16_t>(Read16(entry));
      const uint16_t type = static_cast<uint16_t>(Read16(entry + 2));
      if (type == 0 || type > kMaxType) return false;
      const uint32_t value = Read32(entry + 8);
      if ((tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd) && *count < kMaxDirectories) {
        pending[(*count)++] = value;
      }
      if (tag == kTagThumbnailOffset) thumbnail = value;
      if (tag == kTagThumbnailLength) thumbnailLength = value;
    }
    *next = Read32(at + 2 + kEntrySize * entries);
    if (thumbnail != 0 && ThumbnailDecodes(thumbnail, thumbnailLength)) ++*held;
    return true;
  }

  bool ThumbnailDecodes(uint32_t at, uint32_t length) const {
    if (length < 4 || static_cast<uint64_t>(at) + length > m_tiff.size()) return false;
    return DecodesWhole(m_tiff.subspan(at, length));
  }

  // Offsets are checked against the data before they are read.
  uint32_t Read16(size_t at) const { return Ordered16(m_tiff.data() + at, m_big); }
  uint32_t Read32(size_t at) const { return Ordered32(m_tiff.data() + at, m_big); }

  ByteSpan m_tiff;
  bool m_big;
};
}  // namespace

uint32_t HeaderStructuresThatHold(ByteSpan jpeg) {
  // The application segments after Start Of Image, up to the first other one.
  uint32_t held = 0;
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] >= 0xE0 && jpeg[at + 1] <= 0xEF) {
    const size_t length = static_cast<size_t>(jpeg[at + 2] << 8 | jpeg[at + 3]);
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    const ByteSpan payload = jpeg.subspan(at + 4, length - 2);
    const uint8_t marker = jpeg[at + 1];
    if (marker == 0xE1 && payload.size() >= 6 + kTiffHeader && std::memcmp(payload.data(), "Exif\0\0", 6) == 0) {
      held += CExifReader(payload.subspan(6)).Count();
    } else if (marker == 0xE1) {
      held += XmpIsText(payload) ? 1 : 0;
    } else if (marker == 0xE0 && payload.size() > kJfxxThumbnail && std::memcmp(payload.data(), "JFXX\0", kJfxxCode) == 0 &&
               payload[kJfxxCode] == kJfxxJpeg) {
      held += DecodesWhole(payload.subspan(kJfxxThumbnail)) ? 1 : 0;
    }
    at += 2 + length;
  }
  return held;
}
