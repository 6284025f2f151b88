#pragma once
// ZIP archives and the packages among them (Office Open XML, OpenDocument,
// EPUB, JAR, APK), walked from record to record by their stated sizes to the
// end of the central directory.

#include "filetypes/BaseFile.h"

class CZipFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  int32_t EndWhereCut(uint64_t sector, uint32_t bytesPerSector) override;
  bool EndEstablished() const override { return !m_cut; }
  void EndFound() override { m_cut = false; }

 private:
  // Once a member's header was walked, what was found is kept when the
  // records break off: the rest may lie in a later piece.
  int32_t Cut(uint64_t end, uint32_t bytesPerSector);
  CZipFile(uint64_t sector, CVolumeAccess* access) : CBaseFile(sector, access) { typeCode = kTypeZip; }
  // Reads the record at the next offset and steps past it; false when its
  // header is not all in memory yet, -1 in *result for an unknown record.
  bool StepRecord(const SectorView& view, uint64_t base, int32_t* result);
  void ExamineName(ByteSpan name);
  // Finds the data descriptor that ends a member whose sizes follow its data:
  // its signature, then a compressed size equal to the data's length. False
  // while it is not in memory yet.
  bool FindDescriptor(const SectorView& view, uint64_t base);
  // The kind an OpenDocument or EPUB names in its first, stored member.
  void ExamineMimetype(ByteSpan data);

  uint64_t m_nextRecord = 0;
  uint64_t m_archiveEnd = 0;  // one past the archive's last byte, once known
  uint64_t m_memberData = 0;  // start of the data of a member whose sizes follow it, while searching
  uint64_t m_searchFrom = 0;
  bool m_officePackage = false;
  bool m_mimetype = false;  // the kind came from the "mimetype" member
  bool m_cut = false;
};
