#include "filetypes/MediaFiles.h"

#include <zlib.h>

#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr uint64_t kMaxPictureSize = 1ull << 32;
// A PNG chunk's CRC is checked when the chunk is in memory; larger chunks are
// followed by their length alone.
constexpr uint32_t kMaxCheckedChunk = 16u << 20;

bool IsLetters(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const bool letter = (p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= 'a' && p[i] <= 'z');
    if (!letter) return false;
  }
  return true;
}

bool Is(const uint8_t* p, std::string_view text) { return std::memcmp(p, text.data(), text.size()) == 0; }

}  // namespace

// PNG: the signature, then chunks of length, type, data and CRC, to IEND.
std::unique_ptr<CBaseFile> CPngFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 16) || !Is(data.data(), "\x89PNG\r\n\x1a\n") || !Is(data.data() + 12, "IHDR")) return nullptr;
  if (BE32(data.data() + 8) != 13) return nullptr;
  return std::unique_ptr<CBaseFile>(new CPngFile(sector, access, 8, kMaxPictureSize));
}

CWalkedFile::Step CPngFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint8_t header[8];
  if (!view.Read(rel, sizeof header, header)) return Step::Wait;
  const uint32_t length = BE32(header);
  if (length > 0x7FFFFFFF || !IsLetters(header + 4, 4)) return Step::Reject;
  if (Is(header + 4, "IEND")) {
    // The end chunk holds no data: a length there is damage, not more file.
    *next = offset + 12;
    return Step::End;
  }
  const ByteSpan chunk = view.From(rel + 4);  // type, data and CRC, where the run holds them
  if (length <= kMaxCheckedChunk && chunk.size() >= length + 8u) {
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), chunk.data(), length + 4u);
    // A chunk damaged in place still leads to the next one: the file goes on
    // (its check will say it is damaged). Where no chunk follows, its bytes
    // are not all its own: it was cut there.
    uint8_t after[8];
    const bool followed = view.Read(rel + 12 + length, sizeof after, after) && BE32(after) <= 0x7FFFFFFF &&
                          IsLetters(after + 4, 4);
    if (crc != BE32(chunk.data() + length + 4) && !followed) return Step::Reject;
  }
  *next = offset + 12 + length;
  return Step::Next;
}

// GIF: the header and screen descriptor with its colour table, then
// extensions and images, each followed by data sub-blocks, to the trailer.
std::unique_ptr<CBaseFile> CGifFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 13) || !(Is(data.data(), "GIF87a") || Is(data.data(), "GIF89a"))) return nullptr;
  if (LE16(data, 6) == 0 || LE16(data, 8) == 0) return nullptr;
  const uint8_t flags = data[10];
  const uint64_t table = (flags & 0x80) ? 3u << ((flags & 7) + 1) : 0;
  return std::unique_ptr<CBaseFile>(new CGifFile(sector, access, 13 + table, kMaxPictureSize));
}

CWalkedFile::Step CGifFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint8_t b[10];
  if (m_inSubBlocks) {
    if (!view.Read(rel, 1, b)) return Step::Wait;
    if (b[0] == 0) m_inSubBlocks = false;
    *next = offset + 1 + b[0];
    return Step::Next;
  }
  if (!view.Read(rel, 1, b)) return Step::Wait;
  switch (b[0]) {
    case 0x21:  // extension: label, then sub-blocks
      if (!view.Read(rel, 2, b)) return Step::Wait;
      m_inSubBlocks = true;
      *next = offset + 2;
      return Step::Next;
    case 0x2C: {  // image descriptor, local colour table, LZW code size, sub-blocks
      if (!view.Read(rel, 10, b)) return Step::Wait;
      const uint64_t table = (b[9] & 0x80) ? 3u << ((b[9] & 7) + 1) : 0;
      m_inSubBlocks = true;
      ++m_images;
      *next = offset + 10 + table + 1;
      return Step::Next;
    }
    case 0x3B:  // trailer
      *next = offset + 1;
      return Step::End;
    default:
      return Step::Reject;
  }
}

namespace {
// Photoshop's header: signature, version (1 PSD, 2 PSB), six zeros, then
// channels, height, width, depth and colour mode, big-endian.
constexpr size_t kPsdVersion = 4;
constexpr size_t kPsdReserved = 6;
constexpr size_t kPsdChannels = 12;
constexpr size_t kPsdHeight = 14;
constexpr size_t kPsdWidth = 18;
constexpr size_t kPsdDepth = 22;
constexpr size_t kPsdMode = 24;
constexpr size_t kPsdHeaderSize = 26;
constexpr uint64_t kMaxPsdSize = 1ull << 40;
}  // namespace

std::unique_ptr<CBaseFile> CPsdFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, kPsdHeaderSize) || !Is(data.data(), "8BPS")) return nullptr;
  const uint32_t version = BE16(data.data() + kPsdVersion);
  if (version != 1 && version != 2) return nullptr;
  for (size_t i = 0; i < 6; ++i) {
    if (data[kPsdReserved + i] != 0) return nullptr;
  }
  const uint32_t channels = BE16(data.data() + kPsdChannels);
  const uint32_t height = BE32(data.data() + kPsdHeight), width = BE32(data.data() + kPsdWidth);
  const uint32_t depth = BE16(data.data() + kPsdDepth), mode = BE16(data.data() + kPsdMode);
  const uint32_t maxSide = version == 1 ? 30000 : 300000;
  if (channels == 0 || channels > 56 || height == 0 || width == 0 || height > maxSide || width > maxSide) return nullptr;
  if ((depth != 1 && depth != 8 && depth != 16 && depth != 32) || mode > 9) return nullptr;
  const uint64_t rowBytes = (static_cast<uint64_t>(width) * depth + 7) / 8;
  return std::unique_ptr<CBaseFile>(new CPsdFile(sector, access, version == 2, channels, height, rowBytes));
}

CPsdFile::CPsdFile(uint64_t sector, CVolumeAccess* access, bool large, uint32_t channels, uint32_t height,
                   uint64_t rowBytes)
    : CWalkedFile(sector, access, kPsdHeaderSize, kMaxPsdSize),
      m_large(large),
      m_channels(channels),
      m_height(height),
      m_rowBytes(rowBytes) {}

CWalkedFile::Step CPsdFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint8_t b[8];
  switch (m_part) {
    case Part::ColourModes:
    case Part::Resources:
      if (!view.Read(rel, 4, b)) return Step::Wait;
      *next = offset + 4 + BE32(b);
      m_part = m_part == Part::ColourModes ? Part::Resources : Part::Layers;
      return Step::Next;
    case Part::Layers: {
      // A large document's layer section has a 64-bit length.
      const size_t size = m_large ? 8 : 4;
      if (!view.Read(rel, size, b)) return Step::Wait;
      const uint64_t length = m_large ? BE64(b) : BE32(b);
      if (length > kMaxPsdSize) return Step::Reject;
      *next = offset + size + length;
      m_part = Part::ImageData;
      return Step::Next;
    }
    case Part::ImageData: {
      if (!view.Read(rel, 2, b)) return Step::Wait;
      const uint32_t compression = BE16(b);
      const uint64_t rows = static_cast<uint64_t>(m_channels) * m_height;
      if (compression == 0) {
        *next = offset + 2 + rows * m_rowBytes;
        return Step::End;
      }
      // ZIP-compressed image data says nothing of its length.
      if (compression != 1) return Step::Reject;
      m_countsLeft = rows;
      m_part = Part::RowCounts;
      *next = offset + 2;
      return Step::Next;
    }
    case Part::RowCounts: {
      const size_t unit = m_large ? 4 : 2;
      const ByteSpan counts = view.From(rel);
      const uint64_t n = std::min<uint64_t>(m_countsLeft, counts.size() / unit);
      if (n == 0) return Step::Wait;
      for (uint64_t i = 0; i < n; ++i) {
        const uint8_t* p = counts.data() + i * unit;
        m_rleBytes += m_large ? BE32(p) : BE16(p);
      }
      m_countsLeft -= n;
      *next = offset + n * unit;
      if (m_countsLeft != 0) return Step::Next;
      *next += m_rleBytes;
      return Step::End;
    }
  }
  return Step::Reject;
}

// RIFF: a form of the size its header gives; AVI's OpenDML parts follow as
// RIFF forms of type AVIX.
std::unique_ptr<CBaseFile> CRiffFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 24) || !Is(data.data(), "RIFF") || LE32(data, 4) < 16) return nullptr;
  const uint8_t* form = data.data() + 8;
  if (Is(form, "WEBP") && (Is(form + 4, "VP8 ") || Is(form + 4, "VP8L") || Is(form + 4, "VP8X"))) {
    return std::unique_ptr<CBaseFile>(new CRiffFile(sector, access, kTypeWebp, kMaxPictureSize));
  }
  // Recorders put a broadcast extension or padding before the format chunk.
  const bool waveChunk = Is(form + 4, "fmt ") || Is(form + 4, "bext") || Is(form + 4, "JUNK") || Is(form + 4, "LIST");
  if (Is(form, "WAVE") && waveChunk) {
    return std::unique_ptr<CBaseFile>(new CRiffFile(sector, access, kTypeWav, kMaxPictureSize));
  }
  if (Is(form, "AVI ") && Is(form + 4, "LIST") && Is(form + 12, "hdrl")) {
    return std::unique_ptr<CBaseFile>(new CRiffFile(sector, access, kTypeAvi, 1ull << 40));
  }
  return nullptr;
}

CWalkedFile::Step CRiffFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint8_t header[12];
  const bool read = view.Read(rel, sizeof header, header);
  if (offset == 0) {
    if (!read) return Step::Wait;
    const uint64_t size = LE32(ByteSpan(header, 12), 4);
    *next = 8 + size + (size & 1);
    return Step::Next;
  }
  // What follows the form is another file's, unless it is an AVI's next part;
  // bytes past the run cannot tell, and the file ends where it was known to.
  if (m_type == kTypeAvi && read && Is(header, "RIFF") && Is(header + 8, "AVIX")) {
    const uint64_t size = LE32(ByteSpan(header, 12), 4);
    *next = offset + 8 + size + (size & 1);
    return Step::Next;
  }
  *next = offset;
  return Step::End;
}

// ISO base media: top-level boxes from ftyp, whose major brand names the kind.
int32_t CIsoMediaFile::KindOfBrand(const uint8_t* brand) {
  static constexpr struct {
    const char* brand;
    int32_t type;
  } kBrands[] = {
      {"qt  ", kTypeMov}, {"isom", kTypeMp4}, {"iso2", kTypeMp4}, {"iso4", kTypeMp4}, {"iso5", kTypeMp4},
      {"iso6", kTypeMp4}, {"mp41", kTypeMp4}, {"mp42", kTypeMp4}, {"avc1", kTypeMp4}, {"dash", kTypeMp4},
      {"MSNV", kTypeMp4}, {"M4V ", kTypeM4v}, {"M4VH", kTypeM4v}, {"M4VP", kTypeM4v}, {"3gp4", kType3gp},
      {"3gp5", kType3gp}, {"3gp6", kType3gp}, {"3gp7", kType3gp}, {"3gp8", kType3gp}, {"3gp9", kType3gp},
      {"3gs7", kType3gp}, {"3g2a", kType3gp}, {"3g2b", kType3gp}, {"3g2c", kType3gp}, {"heic", kTypeHeic},
      {"heix", kTypeHeic}, {"heim", kTypeHeic}, {"heis", kTypeHeic}, {"hevc", kTypeHeic}, {"hevx", kTypeHeic},
      {"mif1", kTypeHeic}, {"msf1", kTypeHeic}, {"avif", kTypeAvif}, {"avis", kTypeAvif}, {"M4A ", kTypeM4a},
      {"M4B ", kTypeM4a},
  };
  for (const auto& b : kBrands) {
    if (std::memcmp(brand, b.brand, 4) == 0) return b.type;
  }
  return 0;
}

namespace {
// Box names as writers make them: lower-case letters, digits and spaces.
bool IsBoxName(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (!((p[i] >= 'a' && p[i] <= 'z') || (p[i] >= '0' && p[i] <= '9') || p[i] == ' ')) return false;
  }
  return p[0] != ' ';
}
}  // namespace

std::unique_ptr<CBaseFile> CIsoMediaFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 16) || !Is(data.data() + 4, "ftyp")) return nullptr;
  const uint32_t size = BE32(data.data());
  if (size < 16 || size > 4096 || size % 4 != 0) return nullptr;
  const int32_t type = KindOfBrand(data.data() + 8);
  if (type == 0) return nullptr;
  return std::unique_ptr<CBaseFile>(new CIsoMediaFile(sector, access, type));
}

int32_t CIsoMediaFile::TypeAtEnd() const { return m_movie && m_data ? m_type : -1; }

CWalkedFile::Step CIsoMediaFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  static constexpr std::string_view kTopLevel[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta",
                                                   "pdin", "moof", "mfra", "sidx", "styp", "ssix", "prft", "emsg",
                                                   "pnot", "junk"};
  uint8_t header[16];
  if (!view.Read(rel, 8, header)) {
    // Past the run: a whole movie ends where its last box did.
    return m_movie && m_data && offset == m_lastEnd ? (*next = offset, Step::End) : Step::Wait;
  }
  bool known = false;
  for (std::string_view box : kTopLevel) known = known || Is(header + 4, box);
  uint64_t size = BE32(header);
  // A maker's own box after a whole movie (Samsung's "sefd") is the file's
  // when it looks like one and ends within the free space read.
  const bool makers = m_movie && m_data && IsBoxName(header + 4) && size >= 8 && offset + size <= RunEnd();
  if (!known && !makers) {
    *next = offset;
    return Step::End;
  }
  if (size == 1) {
    if (!view.Read(rel, 16, header)) return Step::Wait;
    size = BE64(header + 8);
    if (size < 16) return Step::Reject;
  } else if (size == 0) {
    // The last box, to the end of the file: as far as the free space it lies in goes.
    if (!Is(header + 4, "mdat") || !m_movie) return Step::Reject;
    m_data = true;
    *next = RunEnd() > offset + 8 ? RunEnd() : 0;
    return Step::End;
  } else if (size < 8) {
    return Step::Reject;
  }
  if (Is(header + 4, "moov") || Is(header + 4, "meta")) m_movie = true;
  if (Is(header + 4, "mdat") || Is(header + 4, "moof")) m_data = true;
  *next = offset + size;
  m_lastEnd = *next;
  return Step::Next;
}

namespace {

// A Matroska variable-length integer: its length from the first byte's
// leading zeros; with the marker bit kept for an element ID.
bool ReadVint(const SectorView& view, int64_t rel, bool keepMarker, uint64_t* value, uint32_t* length,
              bool* unknown) {
  uint8_t bytes[8];
  if (!view.Read(rel, 1, bytes)) return false;
  uint32_t n = 1;
  while (n <= 8 && !(bytes[0] & (0x80 >> (n - 1)))) ++n;
  if (n > 8) {
    *length = 0;
    return true;
  }
  if (!view.Read(rel, n, bytes)) return false;
  uint64_t v = keepMarker ? bytes[0] : (bytes[0] & ((0x80 >> (n - 1)) - 1));
  bool allOnes = v == static_cast<uint64_t>((0x80 >> (n - 1)) - 1);
  for (uint32_t i = 1; i < n; ++i) {
    v = v << 8 | bytes[i];
    allOnes = allOnes && bytes[i] == 0xFF;
  }
  *value = v;
  *length = n;
  if (unknown) *unknown = !keepMarker && allOnes;
  return true;
}

constexpr uint64_t kEbmlId = 0x1A45DFA3;
constexpr uint64_t kSegmentId = 0x18538067;
constexpr uint64_t kClusterId = 0x1F43B675;
constexpr uint64_t kDocTypeId = 0x4282;
// What a Segment holds at its top level.
constexpr uint64_t kSegmentChildren[] = {0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1C53BB6B, kClusterId, 0x1043A770,
                                         0x1254C367, 0x1941A469, 0xEC, 0xBF};

}  // namespace

// Matroska and WebM: the EBML header naming the document type, then the
// Segment, of the size it gives, or, when that is unknown, of its children.
std::unique_ptr<CBaseFile> CMatroskaFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 8) || BE32(data.data()) != kEbmlId) return nullptr;
  SectorView view{{}, data, 0};
  uint64_t headerSize = 0;
  uint32_t n = 0;
  bool unknown = false;
  if (!ReadVint(view, 4, false, &headerSize, &n, &unknown) || n == 0 || unknown || headerSize > 256) return nullptr;
  const uint64_t headerEnd = 4 + n + headerSize;
  if (headerEnd > data.size()) return nullptr;
  int32_t type = 0;
  for (uint64_t at = 4 + n; at < headerEnd;) {
    uint64_t id = 0, size = 0;
    uint32_t idLength = 0, sizeLength = 0;
    if (!ReadVint(view, static_cast<int64_t>(at), true, &id, &idLength, nullptr) || idLength == 0) return nullptr;
    if (!ReadVint(view, static_cast<int64_t>(at + idLength), false, &size, &sizeLength, nullptr) || sizeLength == 0) {
      return nullptr;
    }
    const uint64_t body = at + idLength + sizeLength;
    if (body + size > headerEnd) return nullptr;
    if (id == kDocTypeId) {
      const std::string_view docType(reinterpret_cast<const char*>(data.data() + body), size);
      if (docType.rfind("matroska", 0) == 0) type = kTypeMkv;
      if (docType.rfind("webm", 0) == 0) type = kTypeWebm;
    }
    at = body + size;
  }
  if (type == 0) return nullptr;
  return std::unique_ptr<CBaseFile>(new CMatroskaFile(sector, access, type, headerEnd));
}

CWalkedFile::Step CMatroskaFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint64_t id = 0, size = 0;
  uint32_t idLength = 0, sizeLength = 0;
  bool unknown = false;
  if (!ReadVint(view, rel, true, &id, &idLength, nullptr)) {
    return m_inSegment && m_clusters > 0 ? (*next = offset, Step::End) : Step::Wait;
  }
  // Bytes that are no element end a Segment of unknown size, after its clusters.
  const auto notAnElement = [&] { return m_inSegment && m_clusters > 0 ? (*next = offset, Step::End) : Step::Reject; };
  if (idLength == 0) return notAnElement();
  if (!ReadVint(view, rel + idLength, false, &size, &sizeLength, &unknown)) return Step::Wait;
  if (sizeLength == 0) return notAnElement();
  const uint64_t body = offset + idLength + sizeLength;
  if (!m_inSegment) {
    if (id != kSegmentId) return Step::Reject;
    if (!unknown) {
      m_sizedSegment = true;
      *next = body + size;
      return Step::End;
    }
    m_inSegment = true;
    *next = body;
    return Step::Next;
  }
  bool child = false;
  for (uint64_t known : kSegmentChildren) child = child || id == known;
  if (!child || unknown) {
    // The first element no Segment holds ends a Segment of unknown size.
    *next = offset;
    return m_clusters > 0 ? Step::End : Step::Reject;
  }
  if (id == kClusterId) ++m_clusters;
  *next = body + size;
  return Step::Next;
}

// 7z: the signature header gives where the archive's header lies and its size,
// its own CRC over those fields.
std::unique_ptr<CBaseFile> C7zFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 32) || !Is(data.data(), "7z\xBC\xAF\x27\x1C")) return nullptr;
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), data.data() + 12, 20);
  if (crc != LE32(data, 8)) return nullptr;
  const uint64_t offset = LE64(data, 12);
  const uint64_t size = LE64(data, 20);
  if (size == 0 || offset > (1ull << 40) || size > (1ull << 32)) return nullptr;
  return std::unique_ptr<CBaseFile>(new C7zFile(sector, access, 32 + offset + size));
}
