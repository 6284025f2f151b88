#pragma once
// JPEG pictures, cut at the End Of Image marker after their Start Of Scan;
// and TIFF headers, followed through their directories but never listed.

#include "filetypes/BaseFile.h"

class CJPGFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;

 private:
  using CBaseFile::CBaseFile;
  int32_t FindEnd(uint64_t sector, const SectorView& view, uint32_t bytesPerSector);

  uint64_t m_nextMarker = 2;  // just past the Start Of Image marker
  bool m_scanStarted = false;
};
