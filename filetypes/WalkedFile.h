#pragma once
// A carved file followed through its own structure: chunks, boxes, blocks or
// elements, each saying where the next one starts, until the structure says
// the file ends. The structures are read as the sectors holding their headers
// arrive; a header that straddles the end of a run is read with the next.

#include "filetypes/BaseFile.h"

class CWalkedFile : public CBaseFile {
 public:
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  // Inside a structure whose header checked out, a signature is the file's
  // own data (a JPEG frame of a video), not another file's start.
  bool HoldsSector(uint64_t sector, uint32_t bytesPerSector) const override;
  int32_t EndWhereCut(uint64_t sector, uint32_t bytesPerSector) override;
  bool EndEstablished() const override { return !m_cut; }
  void EndFound() override { m_cut = false; }

 protected:
  CWalkedFile(uint64_t firstSector, CVolumeAccess* access, uint64_t next, uint64_t maxSize)
      : CBaseFile(firstSector, access), m_next(next), m_maxSize(maxSize) {}

  enum class Step { Next, End, Wait, Reject };
  // Reads the structure at offset (rel bytes from the current sector's first
  // byte): Next with *next past it, End with *next the file's length, Wait
  // when its bytes are not in memory yet, Reject when it is no such file.
  virtual Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) = 0;
  // The type code once the walk has ended; -1 when what was walked is not a whole file.
  virtual int32_t TypeAtEnd() const = 0;
  // True when what was walked before the structure broke is kept as a file
  // cut short (its pieces may be found later): its end not established.
  virtual bool KeptWhenCut() const { return false; }
  // Offset of the structure the walk reads next.
  uint64_t NextOffset() const { return m_next; }
  // Offset in the file just past the run of free space being read.
  uint64_t RunEnd() const { return m_runEnd; }
  // True when a file of this length from its first sector would pass the volume's end.
  bool PastTheVolume(uint64_t length, uint32_t bytesPerSector) const;

 private:
  uint64_t m_runEnd = 0;
  uint64_t m_next;
  uint64_t m_maxSize;
  int32_t m_type = 0;
  bool m_cut = false;
};

// Big-endian reads of walked structures.
inline uint32_t BE16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
inline uint32_t BE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint64_t BE64(const uint8_t* p) { return static_cast<uint64_t>(BE32(p)) << 32 | BE32(p + 4); }

// Reads in the byte order a TIFF-style header names ("MM" big, "II" little).
inline uint32_t Ordered16(const uint8_t* p, bool big) {
  return big ? BE16(p) : static_cast<uint32_t>(p[1]) << 8 | p[0];
}
inline uint32_t Ordered32(const uint8_t* p, bool big) {
  return big ? BE32(p) : static_cast<uint32_t>(Ordered16(p + 2, false)) << 16 | Ordered16(p, false);
}
inline uint64_t Ordered64(const uint8_t* p, bool big) {
  return big ? BE64(p) : static_cast<uint64_t>(Ordered32(p + 4, false)) << 32 | Ordered32(p, false);
}
