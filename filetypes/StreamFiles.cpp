#include "filetypes/StreamFiles.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kGzipHeaderCrc = 0x02;
constexpr uint8_t kGzipExtra = 0x04;
constexpr uint8_t kGzipName = 0x08;
constexpr uint8_t kGzipComment = 0x10;
constexpr size_t kMaxGzipHeader = 64 * 1024;
constexpr uint32_t kInflateChunk = 64 * 1024;
constexpr uint64_t kMaxRtfSize = 1ull << 30;
constexpr uint32_t kMaxRtfDepth = 100000;

// Where a GZIP member's header ends: past the optional extra field, name,
// comment and header CRC its flags announce; 0 when it does not end in data.
size_t GzipHeaderLength(ByteSpan data) {
  const uint8_t flags = data[3];
  size_t at = 10;
  if (flags & kGzipExtra) {
    if (!Fits(data, at, 2)) return 0;
    at += 2 + LE16(data, at);
  }
  for (uint8_t field : {kGzipName, kGzipComment}) {
    if (!(flags & field)) continue;
    while (at < data.size() && at < kMaxGzipHeader && data[at] != 0) ++at;
    if (at >= data.size() || at >= kMaxGzipHeader) return 0;
    ++at;
  }
  if (flags & kGzipHeaderCrc) at += 2;
  return at <= data.size() && at <= kMaxGzipHeader ? at : 0;
}

// Ogg's CRC-32: polynomial 0x04C11DB7, not reflected, from 0.
uint32_t OggCrc(const uint8_t* p, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      t[i] = r;
    }
    return t;
  }();
  for (size_t i = 0; i < n; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ p[i]) & 0xFF];
  return crc;
}

bool IsLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

std::unique_ptr<CBaseFile> CGzipFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 18) || data[0] != 0x1F || data[1] != 0x8B || data[2] != 0x08 || (data[3] & 0xE0) != 0) {
    return nullptr;
  }
  const size_t header = GzipHeaderLength(data);
  if (header == 0) return nullptr;
  std::unique_ptr<CGzipFile> file(new CGzipFile(sector, access, static_cast<uint32_t>(header)));
  if (!file->m_ready) return nullptr;
  return file;
}

CGzipFile::CGzipFile(uint64_t sector, CVolumeAccess* access, uint32_t headerLength)
    : CBaseFile(sector, access), m_consumed(headerLength) {
  m_ready = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
}

CGzipFile::~CGzipFile() {
  if (m_ready) inflateEnd(&m_stream);
}

int32_t CGzipFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector, uint64_t) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  if (m_inflated) return CheckTrailer(view, base, bytesPerSector);
  const ByteSpan bytes = view.Sector(bytesPerSector);
  if (m_consumed < base || m_consumed - base >= bytes.size()) return 0;
  const size_t skip = static_cast<size_t>(m_consumed - base);
  m_stream.next_in = const_cast<Bytef*>(bytes.data() + skip);
  m_stream.avail_in = static_cast<uInt>(bytes.size() - skip);
  std::vector<uint8_t>& out = m_inflatedChunk;
  out.resize(kInflateChunk);
  while (m_stream.avail_in > 0) {
    m_stream.next_out = out.data();
    m_stream.avail_out = kInflateChunk;
    const int result = inflate(&m_stream, Z_NO_FLUSH);
    const uInt produced = kInflateChunk - m_stream.avail_out;
    m_crc = static_cast<uint32_t>(crc32(m_crc, out.data(), produced));
    m_size += produced;
    if (result == Z_STREAM_END) {
      m_inflated = true;
      break;
    }
    if (result != Z_OK && result != Z_BUF_ERROR) return -1;
    if (result == Z_BUF_ERROR && produced == 0) break;
  }
  m_consumed = base + bytes.size() - m_stream.avail_in;
  return m_inflated ? CheckTrailer(view, base, bytesPerSector) : 0;
}

// The member's CRC-32 and size modulo 2^32 follow the deflate stream.
int32_t CGzipFile::CheckTrailer(const SectorView& view, uint64_t base, uint32_t bytesPerSector) {
  uint8_t trailer[8];
  if (!view.Read(static_cast<int64_t>(m_consumed) - static_cast<int64_t>(base), 8, trailer)) return 0;
  const ByteSpan t(trailer, 8);
  if (LE32(t, 0) != m_crc || LE32(t, 4) != static_cast<uint32_t>(m_size)) return -1;
  EndAt(m_consumed + 8, bytesPerSector);
  return kTypeGzip;
}

std::unique_ptr<CBaseFile> CRtfFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 6) || std::memcmp(data.data(), "{\\rtf", 5) != 0 || !IsDigit(data[5])) return nullptr;
  return std::unique_ptr<CBaseFile>(new CRtfFile(sector, access));
}

// Braces counted byte by byte from "{\rtf" to the one that closes it; escaped
// braces are text, and \binN is followed by N bytes of anything.
int32_t CRtfFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector, uint64_t) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const ByteSpan bytes = view.Sector(bytesPerSector);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t c = bytes[i];
    m_position = base + i;
    if (m_position >= kMaxRtfSize) return -1;
    bool again = true;
    while (again) {
      again = false;
      switch (m_state) {
        case State::Binary:
          if (--m_binaryLeft == 0) m_state = State::Text;
          break;
        case State::Text:
          if (c == 0) return -1;  // RTF is text outside its binary runs
          if (c == '\\') m_state = State::Backslash;
          if (c == '{' && ++m_depth > kMaxRtfDepth) return -1;
          if (c == '}') {
            if (m_depth == 0) return -1;
            if (--m_depth == 0) {
              EndAt(m_position + 1, bytesPerSector);
              return kTypeRtf;
            }
          }
          break;
        case State::Backslash:
          if (IsLetter(c)) {
            m_word.assign(1, static_cast<char>(c));
            m_state = State::Word;
          } else {
            m_state = State::Text;  // an escaped brace or backslash, or a control symbol
          }
          break;
        case State::Word:
          if (IsLetter(c) && m_word.size() < 32) {
            m_word.push_back(static_cast<char>(c));
          } else if (IsDigit(c) || c == '-') {
            m_number = IsDigit(c) ? c - '0' : 0;
            m_state = State::Number;
          } else {
            m_state = State::Text;
            again = c != ' ';  // a space only delimits the word
          }
          break;
        case State::Number:
          if (IsDigit(c) && m_number < kMaxRtfSize) {
            m_number = m_number * 10 + (c - '0');
          } else if (m_word == "bin" && m_number > 0) {
            m_binaryLeft = m_number;
            m_state = State::Binary;
            again = c != ' ';
          } else {
            m_state = State::Text;
            again = c != ' ';
          }
          break;
      }
    }
  }
  return 0;
}

std::unique_ptr<CBaseFile> COggFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  // The first page of a stream: version 0, "beginning of stream" set.
  if (!Fits(data, 0, 28) || std::memcmp(data.data(), "OggS", 4) != 0 || data[4] != 0 || !(data[5] & 0x02)) {
    return nullptr;
  }
  return std::unique_ptr<CBaseFile>(new COggFile(sector, access, 0, 1ull << 40));
}

// One page: its header, its segment table and the segments, under its CRC.
CWalkedFile::Step COggFile::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  uint8_t header[27 + 255];
  if (!view.Read(rel, 27, header)) return Step::Wait;
  if (std::memcmp(header, "OggS", 4) != 0 || header[4] != 0) return Step::Reject;
  const uint32_t segments = header[26];
  if (!view.Read(rel, 27 + segments, header)) return Step::Wait;
  size_t size = 27 + segments;
  for (uint32_t i = 0; i < segments; ++i) size += header[27 + i];
  if (!view.Holds(rel, size)) return Step::Wait;
  std::vector<uint8_t> page(size);
  view.Read(rel, size, page.data());
  // The CRC is computed with its own field taken as zeros.
  constexpr uint8_t kZeros[4] = {};
  const uint32_t crc = OggCrc(page.data() + 26, size - 26, OggCrc(kZeros, 4, OggCrc(page.data(), 22)));
  if (crc != LE32(ByteSpan(page), 22)) return Step::Reject;
  const uint32_t serial = LE32(ByteSpan(page), 14);
  if (header[5] & 0x02) m_open.insert(serial);
  if (m_open.count(serial) == 0) return Step::Reject;
  if (header[5] & 0x04) m_open.erase(serial);
  *next = offset + size;
  return m_open.empty() ? Step::End : Step::Next;
}
