#pragma once
// Files whose structure breaks before its end are looked for in pieces: the
// same file's data resuming at a later unit boundary of the free space, in a
// bounded window ahead. A join is kept only when the format's own check
// holds across it (see each format's joiner in the carved-format table).

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "filetypes/BaseFile.h"

class CVolumeAccess;

// A stretch of free space that no whole file holds, read into memory.
struct FreeStretch {
  uint64_t firstSector;
  std::vector<uint8_t> bytes;
};

class CPieceSearch;

// The free stretches after a sector, each read from the device only when
// the walk over them reaches it: a search that ends early reads little.
class CFreeStretches {
 public:
  class Iterator {
   public:
    Iterator(CFreeStretches* owner, size_t index) : m_owner(owner), m_index(index) { Load(); }
    const FreeStretch& operator*() const { return m_stretch; }
    Iterator& operator++() {
      ++m_index;
      Load();
      return *this;
    }
    bool operator!=(const Iterator& other) const { return m_index != other.m_index; }

   private:
    void Load();
    CFreeStretches* m_owner;
    size_t m_index;
    FreeStretch m_stretch;
  };
  CFreeStretches(CPieceSearch& search, std::vector<SectorRun> runs) : m_search(search), m_runs(std::move(runs)) {}
  Iterator begin() { return Iterator(this, 0); }
  Iterator end() { return Iterator(this, m_runs.size()); }

 private:
  friend class Iterator;
  CPieceSearch& m_search;
  std::vector<SectorRun> m_runs;
};

class CPieceSearch {
 public:
  // Units are the reader's clusters (sectors on a raw volume); pieces start
  // at unit boundaries until SetAlignment says otherwise.
  CPieceSearch(CVolumeAccess& access, uint64_t firstUnit, uint64_t endUnit, uint32_t sectorsPerUnit);
  // Pieces start at multiples of so many sectors from the first unit's first sector.
  void SetAlignment(uint32_t sectors) { m_alignSectors = std::max<uint32_t>(sectors, 1); }

  uint32_t BytesPerSector() const { return m_bytesPerSector; }
  uint32_t AlignBytes() const { return m_alignSectors * m_bytesPerSector; }
  // True when a piece may start or end at the sector.
  bool IsPieceBoundary(uint64_t sector) const;
  // Sectors of files that are whole are no other file's pieces.
  void Claim(const std::vector<SectorRun>& runs);
  // The file's bytes as it now lies; false on a failed read.
  bool ReadFile(CBaseFile& file, std::vector<uint8_t>* out);
  // The file's bytes as it lies, then the free, unclaimed sectors right
  // after it, up to most bytes more: where a structure that broke off may
  // still have its own bytes. runs become the runs read.
  bool ReadFileAndAfter(CBaseFile& file, uint64_t most, std::vector<SectorRun>* runs, std::vector<uint8_t>* out);
  // The free, unclaimed stretches after the sector, within the window.
  CFreeStretches StretchesAfter(uint64_t sector);
  // The bytes of one such stretch; empty when it cannot be read.
  std::vector<uint8_t> ReadStretch(const SectorRun& run);
  // One more candidate join of so many bytes may be checked for the current
  // file: the checks a broken file costs are bounded in number and in bytes.
  bool MayTryAnother(uint64_t bytes = 0) {
    m_triedBytes += bytes;
    return m_tries++ < kMaxTries && m_triedBytes <= kMaxTriedBytes;
  }
  void StartFile() { m_tries = 0; m_triedBytes = 0; }

  // How far ahead of a break a piece is looked for, and how much of a file is read.
  static constexpr uint64_t kWindowBytes = 32ull << 20;
  static constexpr uint64_t kMaxFileBytes = 64ull << 20;
  static constexpr uint32_t kMaxTries = 160;
  static constexpr uint64_t kMaxTriedBytes = 64ull << 20;
  static constexpr int kMaxPieces = 4;

 private:
  bool IsFreeSector(uint64_t sector);
  bool IsClaimed(uint64_t sector) const;

  CVolumeAccess& m_access;
  uint64_t m_firstUnit, m_endUnit;
  uint32_t m_sectorsPerUnit, m_alignSectors, m_bytesPerSector;
  uint64_t m_unitBase;  // the first unit's first sector
  std::vector<SectorRun> m_claimed;  // sorted by first sector
  uint32_t m_tries = 0;
  uint64_t m_triedBytes = 0;
};

// The sector where a byte of a file in these runs lies.
uint64_t SectorAtOffset(const std::vector<SectorRun>& runs, uint64_t offset, uint32_t bytesPerSector);
// The runs that hold a file's first bytes up to the offset, a sector multiple.
std::vector<SectorRun> RunsUpTo(const std::vector<SectorRun>& runs, uint64_t offset, uint32_t bytesPerSector);
// Offset in the file of its last run's first byte.
uint64_t LastRunStart(const std::vector<SectorRun>& runs, uint32_t bytesPerSector);

// Whether a file found whole needs no pieces, and the search for them.
struct PieceJoiner {
  bool (*isWhole)(CBaseFile& file, CPieceSearch& search);
  bool (*join)(CBaseFile& file, CPieceSearch& search);
};

// Gives each file whose format has a joiner and whose structure broke the
// pieces that complete it, where they can be found, trying each alignment in
// turn (in sectors). stop is asked between files.
void JoinPieces(std::vector<std::unique_ptr<CBaseFile>>& files, CPieceSearch& search,
                const std::vector<uint32_t>& alignments, const std::function<bool()>& stop);

// The joiners, for the format table.
extern const PieceJoiner kJpegJoiner;
extern const PieceJoiner kPngJoiner;
extern const PieceJoiner kZipJoiner;
