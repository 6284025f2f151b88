#pragma once
// Documents: PDF, cut at the "%%EOF" whose cross-reference section checks out
// and after which no incremental update follows, and compound files (the
// Office 97-2003 formats, Outlook messages), as long as the last sector their
// allocation table uses, of the kind their root directory's streams name.

#include <map>
#include <set>
#include <vector>

#include "filetypes/BaseFile.h"

class CPdfFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  // Up to the next "%%EOF" that closes a cross-reference section, the bytes
  // are the document's (pictures it embeds start like files of their own).
  bool HoldsSector(uint64_t sector, uint32_t bytesPerSector) const override {
    return SectorBase(sector, bytesPerSector) + bytesPerSector <= m_holdUntil;
  }
  // False when the document was cut at a "%%EOF" that no cross-reference
  // section vouches for, or before an update it could not follow to its end.
  bool EndEstablished() const override { return m_established; }
  bool EndGuessed() const override { return !m_established; }

 private:
  using CBaseFile::CBaseFile;
  enum class Next { Ends, Continues, Unknown };
  // Offset in the file of the next "%%EOF" at or after m_searchFrom within
  // the bytes in memory; 0 when there is none there.
  uint64_t FindEof(const SectorView& view, uint64_t base) const;
  // True when "startxref N" closes the section ending at the "%%EOF" at
  // offset eof, and N points at "xref" or at an object.
  bool ClosesSection(const SectorView& view, uint64_t base, uint64_t eof) const;
  Next WhatFollows(const SectorView& view, uint64_t base, uint64_t end, uint64_t runEnd) const;
  int32_t EndAtLastEof(uint32_t bytesPerSector, bool established);

  uint64_t m_searchFrom = 5;
  uint64_t m_lastEnd = 0;   // end of the last "%%EOF" line that closed a section
  uint64_t m_looseEnd = 0;  // end of the last "%%EOF" line no section vouches for
  uint64_t m_nextEof = 0;   // offset of the next "%%EOF" found ahead, 0 when none is
  bool m_nextCloses = false;
  uint64_t m_holdUntil = 0;
  bool m_established = true;
};

class CCompoundFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  // Until its allocation table is read, the sectors up to the last table
  // sector are its own; then those up to the last one the table uses. Only
  // within the free run: a header of false sizes must not hide what follows.
  bool HoldsSector(uint64_t sector, uint32_t bytesPerSector) const override;

 private:
  CCompoundFile(uint64_t sector, CVolumeAccess* access, ByteSpan header);
  // Copies compound sector index from memory; false when it is not there.
  bool ReadSector(uint64_t index, const SectorView& view, uint64_t base, std::vector<uint8_t>* out) const;
  // Reads the table and DIFAT sectors that have come; false when one that
  // went by before it was known is no longer in memory.
  bool ReadTableSectors(const SectorView& view, uint64_t base, uint64_t end);
  void ReadAllocationSector(ByteSpan bytes, uint64_t position);
  void ReadDifatSector(ByteSpan bytes);
  void NoteFatSector(uint32_t sector);
  // Copies the directory's sectors as they come, as far as the table has
  // told their chain.
  void ReadDirectory(const SectorView& view, uint64_t base, uint64_t end);
  // The kind, from the names of the root storage's streams.
  int32_t KindFromDirectory() const;

  uint32_t m_sectorSize;
  uint32_t m_fatSectors;  // as many as the header counts
  uint32_t m_difatSectors;
  uint32_t m_firstDirectory;
  // Table sectors not read yet, by sector: their positions in the table.
  std::multimap<uint32_t, uint32_t> m_fatPending;
  uint32_t m_fatNamed = 0;           // table sectors named so far, by the header and the DIFAT
  std::vector<bool> m_fatDone;       // by position in the table
  std::vector<uint32_t> m_fat;
  std::set<uint32_t> m_difatChain;   // DIFAT sectors known, not yet read
  uint32_t m_fatRead = 0;
  uint32_t m_difatRead = 0;
  uint64_t m_lastUsed = 0;           // highest sector in use: by the table, or holding it
  uint64_t m_end = 0;
  uint64_t m_runEnd = 0;
  std::vector<uint8_t> m_directory;
  std::set<uint32_t> m_directorySectors;
  uint32_t m_directoryNext;           // the next directory sector to copy, or none
  uint32_t m_directoryLast;           // the last one copied, while its successor is unknown
};
