#pragma once
// The recoverable-file interface, and the deleted NTFS file that implements
// it by reading its MFT record again.

#include <cstdint>
#include <string>
#include <vector>

class CFileRecord;
class CAttrBase;

class CDelFile {
 public:
  // A deleted NTFS file, read again through records copied from prototype.
  CDelFile(uint32_t recordNumber, CFileRecord* prototype);
  virtual ~CDelFile();

  // Creates or overwrites path with the whole file. False, with the reason,
  // when the file could not be read or written in full.
  virtual bool RecoverTo(const std::string& path, std::string* error);
  // The content for a preview, at most kPreviewCap bytes; null when it cannot
  // be had. Valid until the next call on this object.
  virtual const uint8_t* LoadContent(uint32_t* length);

  static constexpr uint32_t kChunkSize = 65536;
  static constexpr uint32_t kPreviewCap = 0xA00000;  // 10 MiB

 protected:
  CDelFile() = default;
  std::vector<uint8_t> m_content;

 private:
  CAttrBase* OpenData(std::string* error);

  uint32_t m_recordNumber = 0;
  CFileRecord* m_prototype = nullptr;
};
