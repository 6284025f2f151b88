#pragma once

#include "filetypes/BaseFile.h"

// A BMP picture: its length stands in its header.
class CBmpFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView&, uint32_t, uint64_t) override {
    return sector == lastSector ? kTypeBmp : 0;
  }

 private:
  using CBaseFile::CBaseFile;
};
