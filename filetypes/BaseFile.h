#pragma once
// Files found by their signature in free space: a run of consecutive sectors
// ending at a known byte, and the holder that follows one candidate at a time.

#include <memory>
#include <vector>

#include "filetypes/DelFile.h"
#include "volume/ByteOrder.h"

class CVolumeAccess;

// Type codes of carved files.
enum CarvedType : int32_t { kTypeJpg = 1, kTypeZip = 2, kTypeDocx = 3, kTypeXlsx = 4, kTypePptx = 5, kTypeBmp = 6 };

class CBaseFile : public CDelFile {
 public:
  CBaseFile(uint32_t firstSector, CVolumeAccess* access) : m_access(access), firstSector(firstSector) {}

  bool RecoverTo(const std::string& path, std::string* error) override;
  const uint8_t* LoadContent(uint32_t* length) override;
  // Follows the file through one more sector. data starts at that sector and
  // runs to the end of what the run buffer holds. -1: not such a file after
  // all; 0: not ended yet; a type code: it ends here (lastSector and
  // lastByteIndex are set).
  virtual int32_t ExamineSector(uint32_t sector, ByteSpan data, uint32_t bytesPerSector,
                                uint32_t runLimitSector) = 0;

  uint64_t GetLength(uint32_t bytesPerSector) const {
    return static_cast<uint64_t>(lastSector - firstSector) * bytesPerSector + lastByteIndex + 1;
  }
  void SetAccess(CVolumeAccess* access) { m_access = access; }

 protected:
  CVolumeAccess* m_access;

 public:
  uint32_t firstSector;
  uint32_t lastSector = 0;
  uint32_t lastByteIndex = 0;
  int32_t typeCode = 0;
};

class CandidateHolder {
 public:
  CandidateHolder(uint32_t bytesPerSector, CVolumeAccess* access)
      : m_bytesPerSector(bytesPerSector), m_access(access) {}
  // Offers one sector; data runs from it to the end of the run buffer.
  // True when a candidate completed in this sector.
  bool Offer(ByteSpan data, uint32_t sector);
  void DiscardPending() { m_pending.reset(); }
  bool HasPending() const { return m_pending != nullptr; }

  std::vector<std::unique_ptr<CBaseFile>> completed;
  uint32_t runLimitSector = 0;

 private:
  std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint32_t sector) const;

  uint32_t m_bytesPerSector;
  CVolumeAccess* m_access;
  std::unique_ptr<CBaseFile> m_pending;
};
