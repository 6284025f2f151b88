#include "filetypes/DocumentFiles.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

using namespace std::string_view_literals;

constexpr uint64_t kMaxPdfSize = 1ull << 32;
// How far past its last "%%EOF" a document is followed into what looked
// like an update before it is cut there.
constexpr uint64_t kMaxUpdateGap = 64ull << 20;
// How far before "%%EOF" its "startxref" line may begin.
constexpr size_t kTrailerWindow = 1024;
constexpr std::string_view kEof = "%%EOF"sv;

bool IsPdfSpace(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Skips digits from at; false when there are none or too many.
bool SkipNumber(ByteSpan s, size_t* at, uint64_t* value = nullptr) {
  const size_t start = *at;
  uint64_t n = 0;
  while (*at < s.size() && IsDigit(s[*at]) && *at - start < 20) n = n * 10 + (s[(*at)++] - '0');
  if (value) *value = n;
  return *at > start && (*at >= s.size() || !IsDigit(s[*at]));
}

bool SkipSpace(ByteSpan s, size_t* at) {
  const size_t start = *at;
  while (*at < s.size() && IsPdfSpace(s[*at])) ++*at;
  return *at > start;
}

bool HasText(ByteSpan s, size_t at, std::string_view text) {
  return Fits(s, at, text.size()) && std::memcmp(s.data() + at, text.data(), text.size()) == 0;
}

// "N G obj" or "xref" at the start of s: where a cross-reference section or
// an update's first object begins.
bool StartsSection(ByteSpan s) {
  if (HasText(s, 0, "xref"sv)) return true;
  size_t at = 0;
  return SkipNumber(s, &at) && SkipSpace(s, &at) && SkipNumber(s, &at) && SkipSpace(s, &at) && HasText(s, at, "obj"sv);
}

// The bytes from rel on that are in memory, carry included, up to n of them.
std::vector<uint8_t> ReadUpTo(const SectorView& view, int64_t rel, size_t n) {
  const int64_t runStart = -static_cast<int64_t>(view.at);
  const int64_t carryStart = runStart - static_cast<int64_t>(view.carry.size());
  const int64_t available = static_cast<int64_t>(view.run.size() - view.at) - rel;
  if (rel < carryStart || available <= 0) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<int64_t>(available, static_cast<int64_t>(n))));
  if (!view.Read(rel, bytes.size(), bytes.data())) return {};
  return bytes;
}

}  // namespace

std::unique_ptr<CBaseFile> CPdfFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!HasText(data, 0, "%PDF-"sv) || !Fits(data, 0, 8) || !IsDigit(data[5]) || data[6] != '.' || !IsDigit(data[7])) {
    return nullptr;
  }
  return std::unique_ptr<CBaseFile>(new CPdfFile(sector, access));
}

uint64_t CPdfFile::FindEof(const SectorView& view, uint64_t base) const {
  int64_t found = 0;
  if (!view.Find(static_cast<int64_t>(m_searchFrom) - static_cast<int64_t>(base), kEof, &found)) return 0;
  return base + static_cast<uint64_t>(found);
}

bool CPdfFile::ClosesSection(const SectorView& view, uint64_t base, uint64_t eof) const {
  // The window before the mark, from where memory begins when that is later.
  const int64_t memoryStart = static_cast<int64_t>(base) - static_cast<int64_t>(view.at + view.carry.size());
  const uint64_t start = static_cast<uint64_t>(
      std::max<int64_t>({0, memoryStart, static_cast<int64_t>(eof) - static_cast<int64_t>(kTrailerWindow)}));
  const std::vector<uint8_t> window = ReadUpTo(view, static_cast<int64_t>(start) - static_cast<int64_t>(base), eof - start);
  if (window.size() != eof - start) return false;
  // The last "startxref" before the mark, its offset, and nothing else.
  const std::string_view keyword = "startxref"sv;
  const auto it = std::find_end(window.begin(), window.end(), keyword.begin(), keyword.end(),
                                [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
  if (it == window.end()) return false;
  size_t at = static_cast<size_t>(it - window.begin()) + keyword.size();
  uint64_t offset = 0;
  if (!SkipSpace(window, &at) || !SkipNumber(window, &at, &offset)) return false;
  SkipSpace(window, &at);
  const uint64_t keywordAt = start + static_cast<uint64_t>(it - window.begin());
  if (at != window.size() || offset < 8 || offset >= keywordAt) return false;
  const std::vector<uint8_t> target = ReadUpTo(view, static_cast<int64_t>(offset) - static_cast<int64_t>(base), 48);
  // A section no longer in memory is taken on the keyword's word.
  return target.empty() || StartsSection(target);
}

CPdfFile::Next CPdfFile::WhatFollows(const SectorView& view, uint64_t base, uint64_t end, uint64_t runEnd) const {
  constexpr size_t kLook = 64;
  const std::vector<uint8_t> after = ReadUpTo(view, static_cast<int64_t>(end) - static_cast<int64_t>(base), kLook);
  size_t at = 0;
  SkipSpace(after, &at);
  if (at == after.size()) {
    // Nothing but white space in memory: wait for the next run unless the free space ends.
    return after.size() < kLook && end + after.size() < runEnd ? Next::Unknown : Next::Ends;
  }
  return StartsSection(ByteSpan(after).subspan(at)) ? Next::Continues : Next::Ends;
}

int32_t CPdfFile::EndAtLastEof(uint32_t bytesPerSector, bool established) {
  EndAt(std::max(m_lastEnd, m_looseEnd), bytesPerSector);
  m_established = established && m_looseEnd == 0;
  return kTypePdf;
}

int32_t CPdfFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                                uint64_t runLimitSector) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  const uint64_t memoryEnd = base + view.From(0).size();
  const uint64_t runEnd = RunEndOffset(sector, bytesPerSector, runLimitSector);
  for (;;) {
    if (m_lastEnd != 0 && m_lastEnd == m_searchFrom) {
      // The "%%EOF" just passed closed a section: an update may follow.
      const Next next = WhatFollows(view, base, m_lastEnd, runEnd);
      if (next == Next::Unknown) return 0;
      if (next == Next::Ends) return EndAtLastEof(bytesPerSector, true);
    }
    if (m_nextEof == 0) {
      m_nextEof = FindEof(view, base);
      if (m_nextEof == 0) {
        m_holdUntil = 0;
        m_searchFrom = std::max(m_searchFrom, memoryEnd > kEof.size() ? memoryEnd - kEof.size() + 1 : 0);
        const uint64_t last = std::max(m_lastEnd, m_looseEnd);
        if (last != 0 && (memoryEnd >= runEnd || memoryEnd - last > kMaxUpdateGap)) {
          return EndAtLastEof(bytesPerSector, false);
        }
        return memoryEnd > kMaxPdfSize ? -1 : 0;
      }
      m_nextCloses = ClosesSection(view, base, m_nextEof);
      m_holdUntil = m_nextCloses ? m_nextEof + kEof.size() : 0;
    }
    if (m_nextEof + kEof.size() > end) return 0;  // its sector has not come yet
    // The mark's line ends with its end-of-line, when one follows.
    const uint64_t markEnd = m_nextEof + kEof.size();
    const std::vector<uint8_t> eol = ReadUpTo(view, static_cast<int64_t>(markEnd) - static_cast<int64_t>(base), 2);
    size_t eolLength = 0;
    if (eolLength < eol.size() && eol[eolLength] == '\r') ++eolLength;
    if (eolLength < eol.size() && eol[eolLength] == '\n') ++eolLength;
    m_searchFrom = markEnd + eolLength;
    (m_nextCloses ? m_lastEnd : m_looseEnd) = m_searchFrom;
    if (m_nextCloses) m_looseEnd = 0;
    m_nextEof = 0;
  }
}

// Compound files.
namespace {

constexpr uint8_t kCompoundSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kMajorVersion = 0x1A;
constexpr size_t kByteOrder = 0x1C;
constexpr size_t kSectorShift = 0x1E;
constexpr size_t kMiniSectorShift = 0x20;
constexpr size_t kDirectorySectors = 0x28;
constexpr size_t kFatSectorCount = 0x2C;
constexpr size_t kFirstDirectory = 0x30;
constexpr size_t kFirstDifat = 0x44;
constexpr size_t kDifatCount = 0x48;
constexpr size_t kHeaderDifat = 0x4C;
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
// A table of this many entries covers a 4 GiB file of 512-byte sectors.
constexpr uint64_t kMaxTableEntries = 1ull << 23;
constexpr size_t kEntrySize = 128;
constexpr size_t kEntryNameLength = 0x40;
constexpr size_t kEntryLeft = 0x44;
constexpr size_t kEntryRight = 0x48;
constexpr size_t kEntryChild = 0x4C;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;
constexpr size_t kMaxDirectoryBytes = 4u << 20;

}  // namespace

std::unique_ptr<CBaseFile> CCompoundFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, 512) || std::memcmp(data.data(), kCompoundSignature, sizeof kCompoundSignature) != 0) {
    return nullptr;
  }
  const uint16_t major = LE16(data, kMajorVersion);
  const uint16_t shift = LE16(data, kSectorShift);
  if (LE16(data, kByteOrder) != 0xFFFE || LE16(data, kMiniSectorShift) != 6) return nullptr;
  if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return nullptr;
  if (major == 3 && LE32(data, kDirectorySectors) != 0) return nullptr;
  const uint32_t fatSectors = LE32(data, kFatSectorCount);
  const uint64_t entriesPerSector = (1u << shift) / 4;
  if (fatSectors == 0 || fatSectors * entriesPerSector > kMaxTableEntries) return nullptr;
  const uint32_t difatSectors = LE32(data, kDifatCount);
  if ((difatSectors == 0) != (fatSectors <= kHeaderDifatEntries)) return nullptr;
  // Every sector the header names lies within what the table maps.
  const uint64_t mapped = fatSectors * entriesPerSector;
  if (difatSectors != 0 && LE32(data, kFirstDifat) >= mapped) return nullptr;
  if (LE32(data, kFirstDirectory) >= mapped) return nullptr;
  // The header's table of table sectors: as many as it counts, then free entries.
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i) {
    const uint32_t entry = LE32(data, kHeaderDifat + 4 * i);
    if (i < fatSectors ? entry >= mapped : entry != kFreeSector) return nullptr;
  }
  return std::unique_ptr<CBaseFile>(new CCompoundFile(sector, access, data));
}

CCompoundFile::CCompoundFile(uint64_t sector, CVolumeAccess* access, ByteSpan header)
    : CBaseFile(sector, access),
      m_sectorSize(1u << LE16(header, kSectorShift)),
      m_fatSectors(LE32(header, kFatSectorCount)),
      m_difatSectors(LE32(header, kDifatCount)),
      m_firstDirectory(LE32(header, kFirstDirectory)),
      m_directoryNext(m_firstDirectory),
      m_directoryLast(kFreeSector) {
  for (uint32_t i = 0; i < std::min(m_fatSectors, kHeaderDifatEntries); ++i) {
    NoteFatSector(LE32(header, kHeaderDifat + 4 * i));
  }
  if (m_difatSectors != 0) m_difatChain.insert(LE32(header, kFirstDifat));
}

void CCompoundFile::NoteFatSector(uint32_t sector) {
  m_fatPending.emplace(sector, m_fatNamed++);
  m_fatDone.push_back(false);
  m_lastUsed = std::max<uint64_t>(m_lastUsed, sector);
}

bool CCompoundFile::HoldsSector(uint64_t sector, uint32_t bytesPerSector) const {
  const uint64_t needed = m_end != 0 ? m_end : (m_lastUsed + 2) * m_sectorSize;
  return SectorBase(sector, bytesPerSector) < needed && needed <= m_runEnd;
}

void CCompoundFile::ReadAllocationSector(ByteSpan bytes, uint64_t position) {
  const uint32_t perSector = m_sectorSize / 4;
  for (uint32_t i = 0; i < perSector; ++i) {
    const uint32_t entry = LE32(bytes, 4 * i);
    const uint64_t index = position * perSector + i;
    // The table grows with the sectors read, not with what a header claims.
    if (m_fat.size() <= index) m_fat.resize(static_cast<size_t>(position + 1) * perSector, kFreeSector);
    m_fat[static_cast<size_t>(index)] = entry;
    if (entry != kFreeSector) m_lastUsed = std::max(m_lastUsed, index);
  }
  m_fatDone[static_cast<size_t>(position)] = true;
  ++m_fatRead;
}

void CCompoundFile::ReadDifatSector(ByteSpan bytes) {
  const uint32_t perSector = m_sectorSize / 4 - 1;
  for (uint32_t i = 0; i < perSector && m_fatNamed < m_fatSectors; ++i) {
    const uint32_t sector = LE32(bytes, 4 * i);
    if (sector <= kMaxRegularSector) NoteFatSector(sector);
  }
  ++m_difatRead;
  const uint32_t next = LE32(bytes, 4 * perSector);
  if (m_difatRead < m_difatSectors && next <= kMaxRegularSector) {
    m_difatChain.insert(next);
    m_lastUsed = std::max<uint64_t>(m_lastUsed, next);
  }
}

bool CCompoundFile::ReadSector(uint64_t index, const SectorView& view, uint64_t base, std::vector<uint8_t>* out) const {
  out->resize(m_sectorSize);
  const uint64_t offset = (index + 1) * m_sectorSize;
  return view.Read(static_cast<int64_t>(offset) - static_cast<int64_t>(base), m_sectorSize, out->data());
}

bool CCompoundFile::ReadTableSectors(const SectorView& view, uint64_t base, uint64_t end) {
  std::vector<uint8_t> bytes;
  const auto arrived = [&](uint64_t index) { return (index + 2) * m_sectorSize <= end; };
  // Each is read once its sector has come; a DIFAT sector may name table
  // sectors that lie behind it, read back from memory.
  for (;;) {
    if (!m_difatChain.empty() && arrived(*m_difatChain.begin())) {
      if (!ReadSector(*m_difatChain.begin(), view, base, &bytes)) return false;
      m_difatChain.erase(m_difatChain.begin());
      ReadDifatSector(bytes);
    } else if (!m_fatPending.empty() && arrived(m_fatPending.begin()->first)) {
      const auto [sector, position] = *m_fatPending.begin();
      m_fatPending.erase(m_fatPending.begin());
      if (!ReadSector(sector, view, base, &bytes)) return false;
      ReadAllocationSector(bytes, position);
    } else {
      return true;
    }
  }
}

void CCompoundFile::ReadDirectory(const SectorView& view, uint64_t base, uint64_t end) {
  const uint32_t perSector = m_sectorSize / 4;
  std::vector<uint8_t> bytes;
  while (m_directory.size() < kMaxDirectoryBytes) {
    if (m_directoryNext == kFreeSector) {
      // The successor is known once the table sector that maps it is read.
      const uint32_t last = m_directoryLast;
      if (last == kFreeSector || last / perSector >= m_fatDone.size() || !m_fatDone[last / perSector]) return;
      m_directoryLast = kFreeSector;
      if (m_fat[last] > kMaxRegularSector) return;  // the chain's end
      m_directoryNext = m_fat[last];
    }
    if ((m_directoryNext + 2ull) * m_sectorSize > end) return;
    if (!m_directorySectors.insert(m_directoryNext).second) return;  // a chain that loops
    if (!ReadSector(m_directoryNext, view, base, &bytes)) return;
    m_directory.insert(m_directory.end(), bytes.begin(), bytes.end());
    m_directoryLast = m_directoryNext;
    m_directoryNext = kFreeSector;
  }
}

int32_t CCompoundFile::KindFromDirectory() const {
  const ByteSpan all(m_directory);
  const size_t count = m_directory.size() / kEntrySize;
  bool word = false, workbook = false, powerPoint = false, message = false;
  // The root's children form a tree of siblings under its child entry.
  std::vector<uint32_t> stack;
  std::vector<bool> seen(count, false);
  if (count > 0) stack.push_back(LE32(all, kEntryChild));
  while (!stack.empty()) {
    const uint32_t id = stack.back();
    stack.pop_back();
    if (id == kNoEntry || id >= count || seen[id]) continue;
    seen[id] = true;
    const ByteSpan entry = all.subspan(static_cast<size_t>(id) * kEntrySize, kEntrySize);
    const size_t nameBytes = std::min<size_t>(LE16(entry, kEntryNameLength), kEntryNameLength);
    std::string name;
    for (size_t i = 0; i + 1 < nameBytes; i += 2) {
      const uint16_t unit = LE16(entry, i);
      if (unit == 0) break;
      name.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    word = word || name == "WordDocument";
    workbook = workbook || name == "Workbook" || name == "Book";
    powerPoint = powerPoint || name == "PowerPoint Document";
    message = message || name.rfind("__substg1.0_", 0) == 0;
    stack.push_back(LE32(entry, kEntryLeft));
    stack.push_back(LE32(entry, kEntryRight));
  }
  if (message) return kTypeMsg;
  if (word) return kTypeDoc;
  if (powerPoint) return kTypePpt;
  if (workbook) return kTypeXls;
  return kTypeOle;
}

int32_t CCompoundFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                                     uint64_t runLimitSector) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  m_runEnd = RunEndOffset(sector, bytesPerSector, runLimitSector);
  if (m_end == 0 && !ReadTableSectors(view, base, base + bytesPerSector)) return -1;
  ReadDirectory(view, base, base + bytesPerSector);
  if (m_end == 0) {
    if (m_fatRead < m_fatSectors || !m_difatChain.empty()) {
      // Table sectors never seen: no such file.
      return base > static_cast<uint64_t>(m_fatSectors) * (m_sectorSize / 4) * m_sectorSize ? -1 : 0;
    }
    m_end = (m_lastUsed + 2) * m_sectorSize;
    if (m_firstDirectory > m_lastUsed) return -1;
    EndAt(m_end, bytesPerSector);
  }
  return sector >= lastSector ? KindFromDirectory() : 0;
}
