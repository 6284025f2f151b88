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

  bool RecoverTo(const std::string& path, std::string* error) override;
  const uint8_t* LoadContent(uint32_t* length) override;

 private:
  CAttrBase* OpenData(std::string* error);

  uint32_t m_recordNumber = 0;
  CFileRecord* m_prototype = nullptr;
};
