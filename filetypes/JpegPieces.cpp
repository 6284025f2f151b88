// A JPEG in pieces: where its decoded rows stop following on from each other
// (or its data stops), its own data is looked for at a later piece boundary
// of the free space. A join is kept when libjpeg decodes on through it and
// the rows either side of it continue smoothly; the picture is whole when it
// then decodes to its End Of Image without a warning.

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "filetypes/CarvedFormats.h"
#include "filetypes/JpegHeaderCheck.h"
#include "filetypes/FormatCheck.h"
#include "filetypes/PieceSearch.h"

namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr size_t kLookedAt = 512;
constexpr size_t kMinDistinctBytes = 16;
constexpr size_t kMaxCuts = 8;
// How much more than the rows above them the rows across a join may change.
constexpr double kMaxJoinChange = 12.0;
// Once a join holds, a few more candidates may still show a smoother one.
constexpr uint32_t kTriesAfterABest = 24;

bool ContinuesAScan(uint8_t next) { return next == 0x00 || next == kMarker || (next >= 0xD0 && next <= 0xD7); }

// Entropy-coded data: varied bytes whose every FF is stuffed, a restart
// marker or the End Of Image; never another file's start.
bool LooksLikeScanData(ByteSpan bytes, uint32_t bytesPerSector) {
  const size_t n = std::min(bytes.size(), kLookedAt);
  if (n < 2) return false;
  std::set<uint8_t> distinct(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
  if (distinct.size() < kMinDistinctBytes) return false;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (bytes[i] == kMarker && !ContinuesAScan(bytes[i + 1]) && bytes[i + 1] != 0xD9) return false;
  }
  return CreateCarvedFile(bytes, 0, bytesPerSector, nullptr) == nullptr;
}

bool HasLength(uint8_t marker) {
  return (marker >= 0xC0 && marker <= 0xCF) || (marker >= 0xDA && marker <= 0xFE);
}

// A restart marker's number, 0 to 7, or -1 for none.
int RestartNumber(ByteSpan b, size_t at) {
  return at + 1 < b.size() && b[at] == kMarker && b[at + 1] >= 0xD0 && b[at + 1] <= 0xD7 ? b[at + 1] - 0xD0 : -1;
}

// Restart markers count 0 to 7 and round again: where the data before a join
// and the data after it both hold one, the first after must follow the last
// before. Pictures without them, or a join too far from one, pass.
bool RestartsFollowOn(ByteSpan before, ByteSpan after) {
  constexpr size_t kLookBack = 64 * 1024;
  int last = -1;
  for (size_t i = before.size(); i-- > (before.size() > kLookBack ? before.size() - kLookBack : 0);) {
    if (before[i] == kMarker && i + 1 < before.size()) {
      if (const int n = RestartNumber(before, i); n >= 0) {
        last = n;
        break;
      }
      // Another marker: the scan before it is not the one the join goes on.
      if (before[i + 1] != 0x00 && before[i + 1] != kMarker) return true;
    }
  }
  if (last < 0) return true;
  for (size_t i = 0; i + 1 < std::min(after.size(), kLookBack); ++i) {
    if (after[i] != kMarker) continue;
    if (const int n = RestartNumber(after, i); n >= 0) return n == (last + 1) % 8;
    if (after[i + 1] != 0x00 && after[i + 1] != kMarker) return true;
  }
  return true;
}

// How much of the bytes can be the rest of a picture: to its End Of Image,
// through further scans and tables, or to where the syntax breaks; from
// entropy-coded data, or from a marker.
size_t RestLength(ByteSpan bytes, size_t at = 0, bool inScan = true) {
  while (at + 1 < bytes.size()) {
    if (inScan) {
      const auto* ff = static_cast<const uint8_t*>(std::memchr(bytes.data() + at, kMarker, bytes.size() - at));
      if (ff == nullptr) return bytes.size();
      at = static_cast<size_t>(ff - bytes.data());
      if (at + 1 >= bytes.size()) return bytes.size();
      if (ContinuesAScan(bytes[at + 1])) {
        at += bytes[at + 1] == kMarker ? 1 : 2;
        continue;
      }
      inScan = false;
    }
    if (bytes[at] != kMarker) return at;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xD9) return at + 2;
    if (marker == kMarker) {
      ++at;
      continue;
    }
    if (!HasLength(marker) || at + 4 > bytes.size()) return at;
    const size_t length = static_cast<size_t>(bytes[at + 2] << 8 | bytes[at + 3]);
    if (length < 2) return at;
    at += 2 + length;
    inScan = marker == 0xDA;
  }
  return std::min(at, bytes.size());
}

struct Join {
  std::vector<SectorRun> runs;
  std::vector<uint8_t> bytes;
  JpegProbe probe;
};

// Places in the last piece where its own data may stop: piece boundaries
// from where trouble shows back to the last rows that held, latest first.
std::vector<uint64_t> CutsToTry(const Join& join, CPieceSearch& search) {
  const std::vector<SectorRun>& runs = join.runs;
  const JpegProbe& probe = join.probe;
  const uint32_t bytesPerSector = search.BytesPerSector();
  const uint64_t align = search.AlignBytes();
  const uint64_t lowest = std::max(LastRunStart(runs, bytesPerSector) + align,
                                   probe.goodUntil > align ? probe.goodUntil - align : align);
  std::vector<uint64_t> cuts;
  // The decoder reads a little ahead of what it has decoded: trouble may
  // show just before the boundary where the other data begins.
  const uint64_t highest = std::min<uint64_t>(probe.badAt + align, join.bytes.size());
  for (uint64_t at = highest / bytesPerSector * bytesPerSector; at >= lowest && cuts.size() < kMaxCuts;
       at -= bytesPerSector) {
    if (search.IsPieceBoundary(SectorAtOffset(runs, at, bytesPerSector))) cuts.push_back(at);
    if (at < bytesPerSector) break;
  }
  return cuts;
}

// Of two joins, the one that makes the picture whole; of two that both do
// or both do not, the one whose rows change least across it, then the one
// that keeps more of the part before it.
bool Better(double change, bool whole, uint64_t cut, double bestChange, bool bestWhole, uint64_t bestCut) {
  if (whole != bestWhole) return whole;
  if (change != bestChange) return change < bestChange;
  return cut > bestCut;
}

// The first candidate in the free space after the cuts that makes the
// picture whole and goes on smoothly across the join; else the smoothest
// that holds for a while, a few more tried once one does.
bool FindNextPiece(Join* join, CPieceSearch& search) {
  const uint32_t bytesPerSector = search.BytesPerSector();
  const std::vector<uint64_t> cuts = CutsToTry(*join, search);
  if (cuts.empty()) return false;
  // The picture decoded up to each cut alone: where a joined one first
  // differs from it, the join is decoded.
  std::vector<std::optional<JpegProbe>> alone(cuts.size());
  const auto aloneAt = [&](size_t c) -> const JpegProbe& {
    if (!alone[c]) alone[c] = ProbeJpeg(ByteSpan(join->bytes.data(), static_cast<size_t>(cuts[c])));
    return *alone[c];
  };
  Join best;
  double bestChange = 0;
  bool bestWhole = false;
  uint64_t bestCut = 0;
  uint32_t triesLeft = 0;
  bool exhausted = false;
  for (const FreeStretch& stretch : search.StretchesAfter(SectorAtOffset(join->runs, cuts.back(), bytesPerSector) + 1)) {
    if (exhausted) break;
    for (size_t off = 0; off < stretch.bytes.size() && !exhausted; off += bytesPerSector) {
      const uint64_t sector = stretch.firstSector + off / bytesPerSector;
      if (!search.IsPieceBoundary(sector)) continue;
      const ByteSpan rest(stretch.bytes.data() + off, stretch.bytes.size() - off);
      if (!LooksLikeScanData(rest, bytesPerSector)) continue;
      const size_t take = RestLength(rest);
      for (size_t c = 0; c < cuts.size(); ++c) {
        const uint64_t cut = cuts[c];
        if (sector <= SectorAtOffset(join->runs, cut, bytesPerSector)) continue;
        // A first part that already broke well before its end holds others' data.
        if (aloneAt(c).badAt + search.AlignBytes() < cut) continue;
        if (cut + take > CPieceSearch::kMaxFileBytes) continue;
        if (!RestartsFollowOn(ByteSpan(join->bytes.data(), static_cast<size_t>(cut)), rest)) continue;
        if (!search.MayTryAnother(cut + take) || (!best.runs.empty() && triesLeft-- == 0)) {
          exhausted = true;
          break;
        }
        std::vector<uint8_t> bytes(join->bytes.begin(), join->bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        bytes.insert(bytes.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(take));
        JpegProbe probe = ProbeJpeg(ByteSpan(bytes));
        // Rows across a join into other data break with those above; the
        // picture's own data goes on with them.
        const double change = JoinChange(aloneAt(c), probe);
        const bool whole = probe.clean;
        // Old data decodes without a warning as often as not: a picture made
        // whole must still go on smoothly across the join.
        if (change > kMaxJoinChange && !(whole && change == kJoinChangeUnknown)) continue;
        // Trouble that shows only past the join came after it: a piece may
        // be one cluster, shorter than a row of the picture.
        if (!whole && probe.badAt <= cut) continue;
        if (!best.runs.empty() && !Better(change, whole, cut, bestChange, bestWhole, bestCut)) continue;
        bestChange = change;
        bestWhole = whole;
        bestCut = cut;
        triesLeft = kTriesAfterABest;
        std::vector<SectorRun> runs = RunsUpTo(join->runs, cut, bytesPerSector);
        runs.push_back({sector, (take + bytesPerSector - 1) / bytesPerSector});
        best = Join{std::move(runs), std::move(bytes), std::move(probe)};
        if (whole) {
          *join = std::move(best);
          return true;
        }
      }
    }
  }
  if (best.runs.empty()) return false;
  *join = std::move(best);
  return true;
}

bool JpegIsWhole(CBaseFile& file, CPieceSearch& search) {
  if (!file.EndEstablished()) return false;
  std::vector<uint8_t> bytes;
  // What cannot be read or decoded here is left as it was found.
  if (!CanDecodeJpeg() || !search.ReadFile(file, &bytes)) return true;
  return CheckJpegData(ByteSpan(bytes)).verdict != FormatVerdict::Failed;
}

// The segment of the header that runs past the first piece: its start, and
// where the marker after it must be. False when the header holds together.
bool BrokenSegment(const std::vector<uint8_t>& bytes, uint64_t* start, uint64_t* next) {
  uint64_t at = 2;
  while (at + 4 <= bytes.size() && bytes[at] == kMarker) {
    const uint8_t marker = bytes[at + 1];
    if (!HasLength(marker) || marker == 0xDA) return false;
    const uint64_t end = at + 2 + (static_cast<uint64_t>(bytes[at + 2]) << 8 | bytes[at + 3]);
    if (end + 2 > bytes.size() || bytes[end] != kMarker || !(HasLength(bytes[end + 1]) || bytes[end + 1] == kMarker)) {
      *start = at;
      *next = end;
      return true;
    }
    at = end;
  }
  return false;
}

// One candidate for the rest of a header broken at cut: the piece at sector,
// whose bytes are rest. It must hold the marker after the broken segment
// where that segment's length says, and the picture must decode from there.
std::optional<Join> HeaderJoinAt(const Join& join, CPieceSearch& search, uint64_t cut, uint64_t next, uint64_t sector,
                                 ByteSpan rest, bool* exhausted) {
  const uint32_t bytesPerSector = search.BytesPerSector();
  if (sector <= SectorAtOffset(join.runs, cut, bytesPerSector) || next - cut + 2 > rest.size()) return std::nullopt;
  const size_t marker = static_cast<size_t>(next - cut);
  if (rest[marker] != kMarker || !HasLength(rest[marker + 1])) return std::nullopt;
  const size_t take = RestLength(rest, marker, false);
  if (take <= marker + 2 || cut + take > CPieceSearch::kMaxFileBytes) return std::nullopt;
  if (!search.MayTryAnother(cut + take)) {
    *exhausted = true;
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(join.bytes.begin(), join.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
  bytes.insert(bytes.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(take));
  JpegProbe probe = ProbeJpeg(ByteSpan(bytes));
  if (!probe.decoded || (!probe.clean && probe.goodUntil <= cut)) return std::nullopt;
  std::vector<SectorRun> runs = RunsUpTo(join.runs, cut, bytesPerSector);
  runs.push_back({sector, (take + bytesPerSector - 1) / bytesPerSector});
  return Join{std::move(runs), std::move(bytes), std::move(probe)};
}

// A first piece that ends inside the header (a camera's EXIF data can fill
// several clusters): the rest is looked for where the marker after the
// broken segment then stands, and the picture must decode from there on.
bool JoinHeader(Join* join, CPieceSearch& search) {
  const uint32_t bytesPerSector = search.BytesPerSector();
  uint64_t start = 0, next = 0;
  if (!BrokenSegment(join->bytes, &start, &next)) return false;
  std::vector<uint64_t> cuts;
  const uint64_t highest = std::min<uint64_t>(next, join->bytes.size());
  for (uint64_t at = highest / bytesPerSector * bytesPerSector; at > start && cuts.size() < kMaxCuts;
       at -= bytesPerSector) {
    if (search.IsPieceBoundary(SectorAtOffset(join->runs, at, bytesPerSector))) cuts.push_back(at);
  }
  if (cuts.empty()) return false;
  // Each cut's first join that decodes, the free space read once for all.
  std::vector<std::optional<Join>> found(cuts.size());
  size_t open = cuts.size();
  bool exhausted = false;
  for (const FreeStretch& stretch : search.StretchesAfter(SectorAtOffset(join->runs, cuts.back(), bytesPerSector) + 1)) {
    for (size_t off = 0; off < stretch.bytes.size() && open != 0 && !exhausted; off += bytesPerSector) {
      const uint64_t sector = stretch.firstSector + off / bytesPerSector;
      if (!search.IsPieceBoundary(sector)) continue;
      const ByteSpan rest(stretch.bytes.data() + off, stretch.bytes.size() - off);
      for (size_t c = 0; c < cuts.size() && !exhausted; ++c) {
        if (found[c]) continue;
        found[c] = HeaderJoinAt(*join, search, cuts[c], next, sector, rest, &exhausted);
        if (found[c]) --open;
      }
    }
    if (open == 0 || exhausted) break;
  }
  // Old data in place of part of the header leaves the picture decoding as
  // before: of those joins, the one whose header data holds together best;
  // of joins as good, the latest cut.
  std::optional<Join>* best = nullptr;
  uint32_t bestHeld = 0;
  for (std::optional<Join>& candidate : found) {
    if (!candidate) continue;
    const uint32_t held = HeaderStructuresThatHold(ByteSpan(candidate->bytes));
    if (best == nullptr || held > bestHeld) {
      best = &candidate;
      bestHeld = held;
    }
  }
  if (best == nullptr) return false;
  *join = std::move(**best);
  return true;
}

bool JoinJpeg(CBaseFile& file, CPieceSearch& search) {
  if (!CanDecodeJpeg()) return false;
  const uint32_t bytesPerSector = search.BytesPerSector();
  Join join;
  join.runs = file.Runs();
  if (!search.ReadFile(file, &join.bytes)) return false;
  join.probe = ProbeJpeg(ByteSpan(join.bytes));
  bool joined = false;
  if (!join.probe.decoded) {
    if (!JoinHeader(&join, search)) return false;
    joined = true;
  }
  while (!join.probe.clean && static_cast<int>(join.runs.size()) < CPieceSearch::kMaxPieces &&
         FindNextPiece(&join, search)) {
    joined = true;
  }
  // Only a picture that decodes whole is taken in pieces.
  if (!joined || !join.probe.clean) return false;
  file.SetPieces(join.runs, join.bytes.size(), bytesPerSector);
  file.EndFound();
  return true;
}

}  // namespace

const PieceJoiner kJpegJoiner{&JpegIsWhole, &JoinJpeg};
