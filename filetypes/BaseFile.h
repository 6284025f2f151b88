#pragma once
// Files found by their signature in free space: a run of consecutive sectors
// ending at a known byte, and the holder that follows one candidate at a time.

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "volume/DelFile.h"
#include "platform/ByteOrder.h"

class CVolumeAccess;

// The bytes an analyser may see around the sector it is given: the run held
// in memory, and the end of the previous run when the two runs touch.
struct SectorView {
  ByteSpan carry;  // bytes just before the run
  ByteSpan run;
  size_t at = 0;   // offset of the sector in the run

  // Copies n bytes starting rel bytes from the sector's first byte (rel may
  // be negative); false when they are not all in memory.
  bool Read(int64_t rel, size_t n, uint8_t* out) const;
  // True when those n bytes are all in memory: checked before a copy of a
  // size read from the disk is made.
  bool Holds(int64_t rel, size_t n) const;
  // The first place at or after rel where the text lies in memory, carry
  // and run read as one; false when it is not there.
  bool Find(int64_t rel, std::string_view text, int64_t* found) const;
  // The contiguous bytes from rel on, within the run, or empty.
  ByteSpan From(int64_t rel) const;
  ByteSpan Sector(uint32_t bytesPerSector) const { return run.subspan(at, bytesPerSector); }
};

// Type codes of carved files.
enum CarvedType : int32_t {
  kTypeJpg = 1,
  kTypeZip = 2,
  kTypeDocx = 3,
  kTypeXlsx = 4,
  kTypePptx = 5,
  kTypeBmp = 6,
  kTypePng = 7,
  kTypeGif = 8,
  kTypeWebp = 9,
  kTypeAvi = 10,
  kTypeMp4 = 11,
  kTypeMov = 12,
  kType3gp = 13,
  kTypeHeic = 14,
  kTypeAvif = 15,
  kTypeM4v = 16,
  kTypeMkv = 17,
  kTypeWebm = 18,
  kTypeTiff = 19,
  kTypeRaw = 20,
  kTypeWav = 21,
  kTypeM4a = 22,
  kType7z = 23,
  kTypeSqlite = 24,
  kTypeGzip = 25,
  kTypeRtf = 26,
  kTypeOgg = 27,
  kTypePdf = 28,
  kTypeDoc = 29,
  kTypeXls = 30,
  kTypePpt = 31,
  kTypeMsg = 32,
  kTypeOle = 33,
  kTypeMp3 = 34,
  kTypeFlac = 35,
  kTypeRar = 36,
  kTypeOdt = 37,
  kTypeOds = 38,
  kTypeOdp = 39,
  kTypeEpub = 40,
  kTypeJar = 41,
  kTypeApk = 42,
  kTypePsd = 43,
};

// Consecutive sectors of a carved file lying in pieces.
struct SectorRun {
  uint64_t first;
  uint64_t count;
};

class CBaseFile : public CDelFile {
 public:
  CBaseFile(uint64_t firstSector, CVolumeAccess* access) : m_access(access), firstSector(firstSector) {}

  const uint8_t* LoadContent(uint32_t* length) override;
  bool OpenContent(ContentSource* source, std::string* error) override;
  // One stretch of free space from the first sector, or the file's pieces.
  ContentLayout Layout() override;
  // Follows the file through one more sector. -1: not such a file after
  // all; 0: not ended yet; a type code: it has ended (lastSector and
  // lastByteIndex are set).
  virtual int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                                uint64_t runLimitSector) = 0;

  // The extension the file's own content gives, over its kind's ("cr2" for a
  // RAW of Canon's); empty for the kind's.
  virtual const char* Extension() const { return ""; }
  // True when the sector lies inside a structure of this file that checked
  // out, so that a signature there does not replace it.
  virtual bool HoldsSector(uint64_t /*sector*/, uint32_t /*bytesPerSector*/) const { return false; }
  // The file is dropped before the sector (another file starts there, or the
  // free space ends): a type code lists what was found, ending before it;
  // -1 drops it.
  virtual int32_t EndWhereCut(uint64_t /*sector*/, uint32_t /*bytesPerSector*/) { return -1; }
  // False when the file's own structure did not establish where it ends and
  // its end is a guess (a PDF cut at a "%%EOF" no section vouches for).
  virtual bool EndEstablished() const { return true; }
  // True when an end not established is a guess at a whole file (a PDF's
  // last "%%EOF"), not a file cut short with its rest missing.
  virtual bool EndGuessed() const { return false; }
  // Its pieces were found and its structure holds to its end.
  virtual void EndFound() {}
  // Offset in the file of a sector's first byte.
  uint64_t SectorBase(uint64_t sector, uint32_t bytesPerSector) const {
    return static_cast<uint64_t>(sector - firstSector) * bytesPerSector;
  }
  // Offset in the file just past the free run the sector lies in (past the
  // sector itself when the scan gives no run).
  uint64_t RunEndOffset(uint64_t sector, uint32_t bytesPerSector, uint64_t runLimitSector) const {
    return SectorBase(std::max(sector, runLimitSector), bytesPerSector) + bytesPerSector;
  }
  // Ends the file at its byte at offset end - 1.
  void EndAt(uint64_t end, uint32_t bytesPerSector) {
    lastSector = firstSector + (end - 1) / bytesPerSector;
    lastByteIndex = static_cast<uint32_t>((end - 1) % bytesPerSector);
  }
  uint64_t GetLength(uint32_t bytesPerSector) const;
  // The file put together from pieces: every sector of each run in turn,
  // length bytes in all (the last run's last sector holds the end).
  void SetPieces(std::vector<SectorRun> runs, uint64_t length, uint32_t bytesPerSector);
  // The runs the file lies in: one from the first sector when it is not in pieces.
  std::vector<SectorRun> Runs() const;
  // The whole file's sectors read in order into buffer, n sectors from the
  // file's sector index; false on a failed read.
  bool ReadFileSectors(uint64_t index, uint64_t n, uint8_t* buffer, uint32_t bytesPerSector);
  void SetAccess(CVolumeAccess* access) { m_access = access; }

 protected:
  CVolumeAccess* m_access;

 public:
  uint64_t firstSector;
  std::vector<SectorRun> pieces;  // empty while the file lies in one stretch
  uint64_t lastSector = 0;
  uint32_t lastByteIndex = 0;
  int32_t typeCode = 0;
};

class CandidateHolder {
 public:
  CandidateHolder(uint32_t bytesPerSector, CVolumeAccess* access)
      : m_bytesPerSector(bytesPerSector), m_access(access) {}
  // A run of sectors read into memory; touches says it follows the previous
  // run directly, so a pending candidate goes on into it.
  void BeginRun(ByteSpan run, bool touches);
  // Keeps the end of the run for a candidate that goes on into the next one.
  void EndRun();
  // Offers the sector at offset at of the run. True when a candidate completed in it.
  bool Offer(size_t at, uint64_t sector);
  void DiscardPending() { m_pending.reset(); }
  // Ends the pending candidate before the sector after the last one offered:
  // listed when its format keeps what was found of a file cut short.
  void CutPending();
  bool HasPending() const { return m_pending != nullptr; }

  std::vector<std::unique_ptr<CBaseFile>> completed;
  uint64_t runLimitSector = 0;

 private:
  // Records and names that straddle two runs are read back from here; a
  // pending file keeps its bytes in this run, up to the larger bound, for
  // structures that point back (a directory, a b-tree page).
  static constexpr size_t kCarryBytes = 66 * 1024;
  static constexpr size_t kMaxCarryBytes = 16u << 20;
  uint64_t m_runFirstSector = 0;
  uint32_t m_bytesPerSector;
  ByteSpan m_run;
  std::vector<uint8_t> m_carry;
  CVolumeAccess* m_access;
  bool OfferOne(size_t at, uint64_t sector);
  // CutPending's work; true when the candidate was dropped.
  bool EndPending();

  std::unique_ptr<CBaseFile> m_pending;
  uint64_t m_nextSector = 0;  // after the last sector offered
  // The first sector of this run where a signature lay that the pending
  // candidate's structure held; 0 for none.
  uint64_t m_hidden = 0;
  uint64_t m_replayFrom = 0;  // sectors to offer again from, 0 for none
};
