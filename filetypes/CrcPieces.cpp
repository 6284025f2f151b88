// PNG and ZIP files in pieces. Their structures say how long each chunk or
// member is and carry a CRC-32 over it: where the walk of a file breaks, the
// structure that broke is completed from a later piece boundary of the free
// space, and a join is kept only when that structure's CRC-32 holds over the
// joined bytes and the next structure starts where it says.

#include <algorithm>

#include <zlib.h>

#include "filetypes/CarvedFormats.h"
#include "filetypes/PieceSearch.h"
#include "filetypes/WalkedFile.h"
#include "filetypes/ZipRecords.h"

namespace {

using namespace ziprecord;

constexpr size_t kMaxCuts = 64;
constexpr uint64_t kMaxInflated = 1ull << 30;
// Past where a file was cut, the rest of the structure that broke may follow.
constexpr uint64_t kStructureTail = 16ull << 20;

// How a walk over a file's bytes ended: whole at end, or broken in the
// structure that starts at broken and should end at expectedEnd (0: unknown).
struct Walk {
  bool whole = false;
  uint64_t end = 0;
  uint64_t broken = 0;
  uint64_t expectedEnd = 0;
};

uint32_t Crc(ByteSpan bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (!bytes.empty()) {
    const uInt n = static_cast<uInt>(std::min<size_t>(bytes.size(), 1u << 30));
    crc = crc32(crc, bytes.data(), n);
    bytes = bytes.subspan(n);
  }
  return static_cast<uint32_t>(crc);
}

bool IsLetters(const uint8_t* p) {
  return std::all_of(p, p + 4, [](uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// A chunk header: a length a file can hold and a type of four letters.
bool IsPngChunkHeader(ByteSpan b, size_t at) {
  return at + 8 <= b.size() && BE32(b.data() + at) <= 0x7FFFFFFF && IsLetters(b.data() + at + 4);
}

Walk WalkPng(ByteSpan b) {
  uint64_t at = 8;
  while (true) {
    if (!IsPngChunkHeader(b, at)) return {false, 0, at, 0};
    const uint64_t end = at + 12 + BE32(b.data() + at);
    if (end > b.size() || Crc(b.subspan(at + 4, end - at - 8)) != BE32(b.data() + end - 4)) return {false, 0, at, end};
    if (std::equal(b.begin() + static_cast<std::ptrdiff_t>(at + 4), b.begin() + static_cast<std::ptrdiff_t>(at + 8),
                   "IEND")) {
      return {true, end, 0, 0};
    }
    at = end;
  }
}

uint64_t LocalEnd(ByteSpan b, uint64_t at) {
  return at + kLocalHeaderSize + static_cast<uint64_t>(LE16(b, at + kLocalNameLength)) +
         LE16(b, at + kLocalExtraLength) + LE32(b, at + kLocalCompressedSize);
}

bool IsZipRecord(ByteSpan b, uint64_t at) {
  if (at + 4 > b.size()) return false;
  const uint32_t s = LE32(b, at);
  return s == kLocalHeader || s == kCentralHeader || s == kDataDescriptor || s == kEndOfDirectory;
}

// Records by their sizes to the end of the central directory. A member whose
// sizes follow its data is not followed here.
Walk WalkZip(ByteSpan b) {
  uint64_t at = 0, last = 0;
  while (true) {
    if (!IsZipRecord(b, at)) return {false, 0, last, at};
    const uint32_t signature = LE32(b, at);
    uint64_t next = 0;
    if (signature == kLocalHeader) {
      if (at + kLocalHeaderSize > b.size()) return {false, 0, at, 0};
      if (LE16(b, at + kLocalFlags) & kFlagDescriptor && LE32(b, at + kLocalCompressedSize) == 0) return {};
      next = LocalEnd(b, at);
    } else if (signature == kCentralHeader) {
      if (at + kCentralHeaderSize > b.size()) return {false, 0, at, 0};
      next = at + kCentralHeaderSize + static_cast<uint64_t>(LE16(b, at + kCentralNameLength)) +
             LE16(b, at + kCentralExtraLength) + LE16(b, at + kCentralCommentLength);
    } else if (signature == kDataDescriptor) {
      next = at + kDataDescriptorSize;
    } else {
      if (at + kEndSize > b.size()) return {false, 0, at, 0};
      const uint64_t end = at + kEndSize + LE16(b, at + kEndCommentLength);
      if (end > b.size()) return {false, 0, at, end};
      return {true, end, 0, 0};
    }
    last = at;
    at = next;
  }
}

// A member's data inflates (or is stored) to its size and CRC-32, inflated
// a window at a time so that a size the header claims allocates nothing.
bool MemberHolds(ByteSpan b, uint64_t at) {
  if (LE32(b, at) != kLocalHeader) return true;  // a central header has no check of its own
  const uint64_t data = LocalEnd(b, at) - LE32(b, at + kLocalCompressedSize);
  const ByteSpan packed = b.subspan(data, LE32(b, at + kLocalCompressedSize));
  const uint32_t crc = LE32(b, at + 14), size = LE32(b, at + 22);
  const uint16_t method = LE16(b, at + kLocalMethod);
  if (method == 0) return packed.size() == size && Crc(packed) == crc;
  if (method != 8 || size > kMaxInflated) return false;
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  std::vector<uint8_t> window(64 * 1024);
  uLong running = crc32(0L, Z_NULL, 0);
  z.next_in = const_cast<uint8_t*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  int status = Z_OK;
  while (status == Z_OK && z.total_out <= size) {
    z.next_out = window.data();
    z.avail_out = static_cast<uInt>(window.size());
    status = inflate(&z, Z_NO_FLUSH);
    running = crc32(running, window.data(), static_cast<uInt>(window.size() - z.avail_out));
    if (status == Z_BUF_ERROR) break;
  }
  const uLong produced = z.total_out;
  inflateEnd(&z);
  return status == Z_STREAM_END && produced == size && running == crc;
}

// The bytes of a file joined at cut with rest, n of them from offset from
// (fewer where the joined bytes end).
class JoinedBytes {
 public:
  JoinedBytes(const std::vector<uint8_t>& head, uint64_t cut, ByteSpan rest) : m_head(head), m_cut(cut), m_rest(rest) {}
  std::vector<uint8_t> Span(uint64_t from, uint64_t n) const {
    std::vector<uint8_t> out;
    const uint64_t end = std::min(from + n, m_cut + m_rest.size());
    for (uint64_t at = from; at < end;) {
      if (at < m_cut) {
        const uint64_t take = std::min(end, m_cut) - at;
        out.insert(out.end(), m_head.begin() + static_cast<std::ptrdiff_t>(at),
                   m_head.begin() + static_cast<std::ptrdiff_t>(at + take));
        at += take;
      } else {
        out.insert(out.end(), m_rest.begin() + static_cast<std::ptrdiff_t>(at - m_cut),
                   m_rest.begin() + static_cast<std::ptrdiff_t>(end - m_cut));
        at = end;
      }
    }
    return out;
  }

 private:
  const std::vector<uint8_t>& m_head;
  uint64_t m_cut;
  ByteSpan m_rest;
};

// The format's side of a join: how a file's bytes walk, and whether the
// structure at offset at holds once joined (*next: where the one after starts).
struct CrcFormat {
  Walk (*walk)(ByteSpan bytes);
  // Cheap: the structure's header holds and the next one starts where it says.
  bool (*leads)(const JoinedBytes& joined, uint64_t at, uint64_t* next);
  // Costly: its CRC-32 holds over the joined bytes.
  bool (*holds)(const JoinedBytes& joined, uint64_t at, uint64_t next);
  // How far the structure at offset at reads on before its data stops
  // making sense: its own bytes end at a piece boundary before that.
  uint64_t (*readsUntil)(ByteSpan bytes, uint64_t at);
};

uint64_t ToTheEnd(ByteSpan bytes, uint64_t) { return bytes.size(); }

// A deflated member's data inflates until the bytes are no longer its own.
uint64_t InflatesUntil(ByteSpan b, uint64_t at) {
  if (at + kLocalHeaderSize > b.size() || LE32(b, at) != kLocalHeader || LE16(b, at + kLocalMethod) != 8) {
    return b.size();
  }
  const uint64_t data = LocalEnd(b, at) - LE32(b, at + kLocalCompressedSize);
  if (data >= b.size()) return b.size();
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return b.size();
  std::vector<uint8_t> out(64 * 1024);
  z.next_in = const_cast<uint8_t*>(b.data() + data);
  z.avail_in = static_cast<uInt>(std::min<uint64_t>(b.size() - data, UINT32_MAX));
  // Past the size its header states the data is no longer the member's:
  // the output is bounded by it, whatever the bytes would inflate to.
  const uint64_t stated = std::min<uint64_t>(LE32(b, at + 22), kMaxInflated);
  int status = Z_OK;
  while (status == Z_OK && z.total_out <= stated) {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    status = inflate(&z, Z_NO_FLUSH);
  }
  const uint64_t until = data + z.total_in;
  const bool runsOver = z.total_out > stated;
  inflateEnd(&z);
  return status == Z_DATA_ERROR || runsOver ? until : b.size();
}

bool IsIend(const std::vector<uint8_t>& header) { return std::equal(header.begin() + 4, header.begin() + 8, "IEND"); }

// A chunk header, followed by another chunk's header (or the end) where its length says.
bool PngChunkLeads(const JoinedBytes& joined, uint64_t at, uint64_t* next) {
  const std::vector<uint8_t> header = joined.Span(at, 8);
  if (!IsPngChunkHeader(ByteSpan(header), 0)) return false;
  const uint64_t end = at + 12 + BE32(header.data());
  if (!IsIend(header) && !IsPngChunkHeader(ByteSpan(joined.Span(end, 8)), 0)) return false;
  *next = end;
  return true;
}

bool PngChunkHolds(const JoinedBytes& joined, uint64_t at, uint64_t end) {
  const std::vector<uint8_t> chunk = joined.Span(at, end - at);
  return chunk.size() == end - at &&
         Crc(ByteSpan(chunk).subspan(4, chunk.size() - 8)) == BE32(chunk.data() + chunk.size() - 4);
}

// A member or a central header followed by a record where its sizes say.
bool ZipRecordLeads(const JoinedBytes& joined, uint64_t at, uint64_t* next) {
  const std::vector<uint8_t> header = joined.Span(at, kCentralHeaderSize);
  const ByteSpan h(header);
  if (!IsZipRecord(h, 0)) return false;
  uint64_t end = 0;
  if (LE32(h, 0) == kLocalHeader && header.size() >= kLocalHeaderSize) {
    end = LocalEnd(h, 0);
  } else if (LE32(h, 0) == kCentralHeader && header.size() == kCentralHeaderSize) {
    end = kCentralHeaderSize + static_cast<uint64_t>(LE16(h, kCentralNameLength)) + LE16(h, kCentralExtraLength) +
          LE16(h, kCentralCommentLength);
  } else {
    return false;
  }
  if (!IsZipRecord(ByteSpan(joined.Span(at + end, 4)), 0)) return false;
  *next = at + end;
  return true;
}

// A member's data inflates to its CRC-32; a central header has no check of its own.
bool ZipRecordHolds(const JoinedBytes& joined, uint64_t at, uint64_t end) {
  const std::vector<uint8_t> member = joined.Span(at, end - at);
  return member.size() == end - at && MemberHolds(ByteSpan(member), 0);
}

const CrcFormat kPng{&WalkPng, &PngChunkLeads, &PngChunkHolds, &ToTheEnd};
const CrcFormat kZip{&WalkZip, &ZipRecordLeads, &ZipRecordHolds, &InflatesUntil};

// Joins the structure that broke with the first later piece that completes it.
bool JoinNext(const CrcFormat& format, const Walk& walk, std::vector<SectorRun>* runs, std::vector<uint8_t>* bytes,
              CPieceSearch& search) {
  const uint32_t bytesPerSector = search.BytesPerSector();
  const uint64_t lastRunStart = LastRunStart(*runs, bytesPerSector);
  // The broken structure's own bytes end at a piece boundary after its start.
  const uint64_t highest =
      std::min({walk.expectedEnd ? walk.expectedEnd : bytes->size(), static_cast<uint64_t>(bytes->size()),
                format.readsUntil(ByteSpan(*bytes), walk.broken) + bytesPerSector});
  std::vector<uint64_t> cuts;
  for (uint64_t at = highest / bytesPerSector * bytesPerSector; at > std::max(walk.broken, lastRunStart);
       at -= bytesPerSector) {
    if (search.IsPieceBoundary(SectorAtOffset(*runs, at, bytesPerSector))) cuts.push_back(at);
    if (cuts.size() == kMaxCuts) break;
  }
  if (cuts.empty()) return false;
  for (const FreeStretch& stretch : search.StretchesAfter(SectorAtOffset(*runs, cuts.back(), bytesPerSector) + 1)) {
    for (size_t off = 0; off < stretch.bytes.size(); off += bytesPerSector) {
      const uint64_t sector = stretch.firstSector + off / bytesPerSector;
      if (!search.IsPieceBoundary(sector)) continue;
      const ByteSpan stretchRest(stretch.bytes.data() + off, stretch.bytes.size() - off);
      for (const uint64_t cut : cuts) {
        if (sector <= SectorAtOffset(*runs, cut, bytesPerSector) || cut >= CPieceSearch::kMaxFileBytes) continue;
        const ByteSpan rest = stretchRest.first(std::min<size_t>(stretchRest.size(), CPieceSearch::kMaxFileBytes - cut));
        const JoinedBytes joined(*bytes, cut, rest);
        uint64_t next = 0;
        if (!format.leads(joined, walk.broken, &next) || next <= cut) continue;
        if (!search.MayTryAnother(next - walk.broken)) return false;
        if (!format.holds(joined, walk.broken, next)) continue;
        *runs = RunsUpTo(*runs, cut, bytesPerSector);
        runs->push_back({sector, (rest.size() + bytesPerSector - 1) / bytesPerSector});
        bytes->resize(static_cast<size_t>(cut));
        bytes->insert(bytes->end(), rest.begin(), rest.end());
        return true;
      }
    }
  }
  return false;
}

bool JoinByCrc(const CrcFormat& format, CBaseFile& file, CPieceSearch& search) {
  const uint32_t bytesPerSector = search.BytesPerSector();
  std::vector<SectorRun> runs;
  std::vector<uint8_t> bytes;
  if (!search.ReadFileAndAfter(file, kStructureTail, &runs, &bytes)) return false;
  for (int pieces = 1; pieces <= CPieceSearch::kMaxPieces; ++pieces) {
    const Walk walk = format.walk(ByteSpan(bytes));
    if (walk.whole) {
      if (pieces == 1) return false;
      bytes.resize(static_cast<size_t>(walk.end));
      // Its kind is read again from the whole: a package's names lie at its end.
      if (const int32_t type = CarvedTypeOfContent(ByteSpan(bytes)); type > 0) file.typeCode = type;
      file.SetPieces(runs, walk.end, bytesPerSector);
      file.EndFound();
      return true;
    }
    if (walk.broken == 0 && walk.expectedEnd == 0) return false;
    if (pieces == CPieceSearch::kMaxPieces || !JoinNext(format, walk, &runs, &bytes, search)) return false;
  }
  return false;
}

bool EndIsEstablished(CBaseFile& file, CPieceSearch&) { return file.EndEstablished(); }
bool JoinPng(CBaseFile& file, CPieceSearch& search) { return JoinByCrc(kPng, file, search); }
bool JoinZip(CBaseFile& file, CPieceSearch& search) { return JoinByCrc(kZip, file, search); }

}  // namespace

const PieceJoiner kPngJoiner{&EndIsEstablished, &JoinPng};
const PieceJoiner kZipJoiner{&EndIsEstablished, &JoinZip};
