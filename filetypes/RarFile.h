#pragma once
// RAR archives, versions 4 and 5: blocks walked by their stated sizes, each
// header under its CRC, to the end-of-archive block.

#include "filetypes/WalkedFile.h"

class CRarFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return kTypeRar; }

 private:
  CRarFile(uint64_t sector, CVolumeAccess* access, bool five, uint64_t markerSize);
  Step StepRar4(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next);
  Step StepRar5(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next);

  bool m_five;
};
