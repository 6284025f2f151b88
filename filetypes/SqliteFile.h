#pragma once
// SQLite databases: the header's page size times its page count while its
// change counter vouches for that count; otherwise as far as the database's
// own pages reach: its b-trees from the schema's root pages down, their
// overflow chains and the free list.

#include <map>
#include <vector>

#include "filetypes/MediaFiles.h"

class CSqliteFile : public CHeaderLengthFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 private:
  CSqliteFile(uint64_t sector, CVolumeAccess* access, uint64_t length)
      : CHeaderLengthFile(sector, access, length, kTypeSqlite) {}
};

class CSqliteTreeFile : public CBaseFile {
 public:
  CSqliteTreeFile(uint64_t sector, CVolumeAccess* access, ByteSpan header);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  // Up to the last page known to be the database's, the sectors are its
  // own, while that page lies within the free run.
  bool HoldsSector(uint64_t sector, uint32_t bytesPerSector) const override {
    const uint64_t end = static_cast<uint64_t>(m_lastPage) * m_pageSize;
    return SectorBase(sector, bytesPerSector) < end && end <= m_runEnd;
  }

 private:
  enum class Page { Tree, Schema, Overflow, FreeTrunk };
  // Reads a page that has come; false when it is none of what it should be.
  bool ReadPage(uint32_t number, Page kind, ByteSpan page);
  bool ReadTreePage(uint32_t number, bool schema, ByteSpan page);
  // The overflow page a cell's payload continues in, if it has one.
  void FollowPayload(ByteSpan page, size_t at, uint64_t payload, bool table, bool leaf);
  void ReadSchemaRecord(ByteSpan page, size_t at, uint64_t payload);
  void Want(uint32_t number, Page kind);

  uint32_t m_pageSize;
  uint32_t m_usable;
  std::map<uint32_t, Page> m_wanted;  // pages referred to and not yet read
  uint32_t m_lastPage = 1;            // highest page referred to
  // Every page has one parent: a page named twice is a loop or a
  // damaged tree, and would otherwise be read again and again.
  std::vector<bool> m_referred;
  uint64_t m_runEnd = 0;
  bool m_bad = false;
};
