#pragma once

#include "filetypes/BaseFile.h"

// A BMP picture: its length stands in its header, checked against the
// pixel rows its DIB header describes (OS/2 1.x and 2.x headers included).
class CBmpFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView&, uint32_t, uint64_t) override {
    return sector == lastSector ? kTypeBmp : 0;
  }
  // Its pixels may hold any bytes: the sectors up to its end are its own.
  bool HoldsSector(uint64_t sector, uint32_t) const override { return sector <= lastSector; }

 private:
  using CBaseFile::CBaseFile;
};
