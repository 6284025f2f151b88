#include "filetypes/SqliteFile.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 100;
constexpr size_t kPageSizeField = 16;
constexpr size_t kReservedField = 20;
constexpr size_t kPayloadFractions = 21;  // 64, 32, 32 in every database
constexpr size_t kChangeCounter = 24;
constexpr size_t kPageCount = 28;
constexpr size_t kFirstFreeTrunk = 32;
constexpr size_t kVersionValidFor = 92;
// A database followed by its pages is given up past this many.
constexpr uint32_t kMaxPages = 1u << 24;
constexpr size_t kMaxWanted = 1u << 20;

constexpr uint8_t kInteriorIndex = 2, kInteriorTable = 5, kLeafIndex = 10, kLeafTable = 13;

uint16_t BE16(ByteSpan s, size_t at) { return Fits(s, at, 2) ? static_cast<uint16_t>(s[at] << 8 | s[at + 1]) : 0; }
uint32_t BE32At(ByteSpan s, size_t at) { return Fits(s, at, 4) ? BE32(s.data() + at) : 0; }

// SQLite's variable-length integer: seven bits a byte, high first, the
// ninth byte whole; false past the span's end.
bool ReadVarint(ByteSpan s, size_t* at, uint64_t* value) {
  *value = 0;
  for (int i = 0; i < 9; ++i) {
    if (*at >= s.size()) return false;
    const uint8_t b = s[(*at)++];
    if (i == 8) {
      *value = *value << 8 | b;
      return true;
    }
    *value = *value << 7 | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return true;
}

// Bytes a record value of a serial type takes.
uint64_t SerialSize(uint64_t type) {
  static constexpr uint8_t kSizes[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
  return type < 12 ? kSizes[type] : (type - 12) / 2;
}

}  // namespace

std::unique_ptr<CBaseFile> CSqliteFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (!Fits(data, 0, kHeaderSize) || std::memcmp(data.data(), "SQLite format 3", 16) != 0) return nullptr;
  const uint32_t field = static_cast<uint32_t>(data[kPageSizeField]) << 8 | data[kPageSizeField + 1];
  const uint64_t pageSize = field == 1 ? 65536 : field;
  if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || data[kReservedField] >= pageSize - 480) return nullptr;
  if (data[kPayloadFractions] != 64 || data[kPayloadFractions + 1] != 32 || data[kPayloadFractions + 2] != 32) {
    return nullptr;
  }
  const uint32_t pages = BE32(data.data() + kPageCount);
  if (pages != 0 && BE32(data.data() + kChangeCounter) == BE32(data.data() + kVersionValidFor)) {
    return std::unique_ptr<CBaseFile>(new CSqliteFile(sector, access, pageSize * pages));
  }
  // A writer that left the page count stale: the pages themselves tell.
  return std::make_unique<CSqliteTreeFile>(sector, access, data);
}

CSqliteTreeFile::CSqliteTreeFile(uint64_t sector, CVolumeAccess* access, ByteSpan header)
    : CBaseFile(sector, access) {
  const uint32_t field = BE16(header, kPageSizeField);
  m_pageSize = field == 1 ? 65536 : field;
  m_usable = m_pageSize - header[kReservedField];
  Want(1, Page::Schema);
  if (const uint32_t trunk = BE32At(header, kFirstFreeTrunk); trunk != 0) Want(trunk, Page::FreeTrunk);
}

void CSqliteTreeFile::Want(uint32_t number, Page kind) {
  // The pages waited for stay as few as the pages a database may have.
  if (number == 0 || number > kMaxPages || m_wanted.size() >= kMaxWanted) {
    m_bad = true;
    return;
  }
  if (number >= m_referred.size()) m_referred.resize(std::max<size_t>(number + 1, m_referred.size() * 2));
  if (m_referred[number]) {
    m_bad = true;
    return;
  }
  m_referred[number] = true;
  m_wanted.emplace(number, kind);
  m_lastPage = std::max(m_lastPage, number);
}

void CSqliteTreeFile::FollowPayload(ByteSpan page, size_t at, uint64_t payload, bool table, bool leaf) {
  const uint64_t usable = m_usable;
  const uint64_t most = table && leaf ? usable - 35 : (usable - 12) * 64 / 255 - 23;
  if (payload <= most) return;
  const uint64_t least = (usable - 12) * 32 / 255 - 23;
  const uint64_t spill = least + (payload - least) % (usable - 4);
  const uint64_t local = spill <= most ? spill : least;
  if (!Fits(page, at, local + 4)) {
    m_bad = true;
    return;
  }
  Want(BE32At(page, at + local), Page::Overflow);
}

void CSqliteTreeFile::ReadSchemaRecord(ByteSpan page, size_t at, uint64_t payload) {
  // type, name, tbl_name, rootpage, sql: the fourth column names a b-tree.
  const size_t start = at;
  uint64_t headerSize = 0;
  if (!ReadVarint(page, &at, &headerSize) || headerSize > payload) return;
  uint64_t offset = headerSize;
  for (int column = 0; column < 4 && at < start + headerSize; ++column) {
    uint64_t type = 0;
    if (!ReadVarint(page, &at, &type)) return;
    if (column == 3 && type >= 1 && type <= 4 && Fits(page, start + offset, type)) {
      uint32_t root = 0;
      for (uint64_t i = 0; i < type; ++i) root = root << 8 | page[start + offset + i];
      if (root != 0) Want(root, Page::Tree);
    }
    offset += SerialSize(type);
  }
}

bool CSqliteTreeFile::ReadTreePage(uint32_t number, bool schema, ByteSpan page) {
  const size_t h = number == 1 ? kHeaderSize : 0;
  if (!Fits(page, h, 12)) return false;
  const uint8_t type = page[h];
  if (type != kInteriorIndex && type != kInteriorTable && type != kLeafIndex && type != kLeafTable) return false;
  const bool leaf = type == kLeafIndex || type == kLeafTable;
  const bool table = type == kInteriorTable || type == kLeafTable;
  const uint16_t cells = BE16(page, h + 3);
  const size_t pointers = h + (leaf ? 8 : 12);
  if (pointers + 2ull * cells > m_usable) return false;
  const Page child = schema ? Page::Schema : Page::Tree;
  if (!leaf) Want(BE32At(page, h + 8), child);
  for (uint16_t i = 0; i < cells; ++i) {
    size_t at = BE16(page, pointers + 2u * i);
    if (at < pointers + 2ull * cells || at >= m_usable) return false;
    if (!leaf) {
      Want(BE32At(page, at), child);
      at += 4;
      if (table) continue;  // an interior table cell holds a key, no payload
    }
    uint64_t payload = 0, rowid = 0;
    if (!ReadVarint(page, &at, &payload)) return false;
    if (table && !ReadVarint(page, &at, &rowid)) return false;
    FollowPayload(page, at, payload, table, leaf);
    if (schema && leaf && table) ReadSchemaRecord(page, at, payload);
  }
  return !m_bad;
}

bool CSqliteTreeFile::ReadPage(uint32_t number, Page kind, ByteSpan page) {
  switch (kind) {
    case Page::Schema:
    case Page::Tree:
      return ReadTreePage(number, kind == Page::Schema, page);
    case Page::Overflow:
      if (const uint32_t next = BE32At(page, 0); next != 0) Want(next, Page::Overflow);
      return !m_bad;
    case Page::FreeTrunk: {
      const uint32_t leaves = BE32At(page, 4);
      if (leaves > m_usable / 4 - 2) return false;
      for (uint32_t i = 0; i < leaves; ++i) {
        const uint32_t leafPage = BE32At(page, 8 + 4 * i);
        if (leafPage == 0 || leafPage > kMaxPages) return false;
        m_lastPage = std::max(m_lastPage, leafPage);
      }
      if (const uint32_t next = BE32At(page, 0); next != 0) Want(next, Page::FreeTrunk);
      return !m_bad;
    }
  }
  return false;
}

int32_t CSqliteTreeFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                                       uint64_t runLimitSector) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  m_runEnd = RunEndOffset(sector, bytesPerSector, runLimitSector);
  const uint64_t end = base + bytesPerSector;
  std::vector<uint8_t> page;
  // Pages are read once they have come; one may refer back to a page that
  // went by before it, read again from memory.
  for (auto it = m_wanted.begin(); it != m_wanted.end() && static_cast<uint64_t>(it->first) * m_pageSize <= end;) {
    const uint64_t offset = static_cast<uint64_t>(it->first - 1) * m_pageSize;
    page.resize(m_pageSize);
    if (!view.Read(static_cast<int64_t>(offset) - static_cast<int64_t>(base), m_pageSize, page.data())) {
      return -1;
    }
    const auto [number, kind] = *it;
    m_wanted.erase(it);
    if (!ReadPage(number, kind, page)) return -1;
    it = m_wanted.begin();
  }
  if (!m_wanted.empty()) return 0;
  EndAt(static_cast<uint64_t>(m_lastPage) * m_pageSize, bytesPerSector);
  return lastSector <= sector ? kTypeSqlite : 0;
}
