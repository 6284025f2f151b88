#pragma once
// A deleted NTFS file, read again through its MFT record.

#include <cstdint>
#include <string>

#include "volume/DelFile.h"

class CFileRecord;
class CAttrBase;

class CNTFSDelFile : public CDelFile {
 public:
  // Records are copied from prototype, which stays bound to the volume.
  CNTFSDelFile(uint32_t recordNumber, CFileRecord* prototype);

  const uint8_t* LoadContent(uint32_t* length) override;
  bool OpenContent(ContentSource* source, std::string* error) override;
  // The clusters of the unnamed stream that hold its data; Reused when the
  // record now holds another file.
  ContentLayout Layout() override;

 private:
  CAttrBase* OpenData(std::string* error);

  uint32_t m_recordNumber = 0;
  CFileRecord* m_prototype = nullptr;
};
