#pragma once
// One MFT file record: read, fixed up, its selected attributes parsed.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "ntfs/Attributes.h"
#include "ntfs/SList.h"

class CNTFSVolume;

constexpr uint64_t kNoRecord = ~0ULL;

enum : uint16_t { kRecordInUse = 0x0001, kRecordIsDirectory = 0x0002 };

// Attribute masks: bit k selects the attribute type (k + 1) * 0x10.
enum : uint32_t {
  kMaskVolume = 0x63,
  kMaskData = 0x83,
  kMaskScan = 0x87,
};

// $STANDARD_INFORMATION file attribute flags that make a record unreadable for us.
enum : uint32_t { kFileCompressed = 0x0800, kFileEncrypted = 0x4000 };

class CFileRecord {
 public:
  explicit CFileRecord(CNTFSVolume* volume);
  // A new record bound to the same volume with the same mask and number,
  // holding no buffer and no attributes of its own.
  CFileRecord(const CFileRecord& other);
  CFileRecord& operator=(const CFileRecord&) = delete;
  virtual ~CFileRecord();

  void SetAttrMask(uint32_t mask) { m_attrMask = mask; }
  uint32_t GetAttrMask() const { return m_attrMask; }
  // fresh reads the record from the device, past the volume's MFT window.
  bool ReadRecord(uint64_t recordNumber, bool fresh = false);
  // Reads one of the first records from the volume's $MFTMirr copy.
  bool ReadMirrorRecord(uint64_t recordNumber);
  bool ParseAttrs();

  uint16_t GetRecordFlags() const;
  // The first name that is not a DOS 8.3 name, as UTF-16; its length, or 0.
  int GetFileName(std::u16string* name) const;
  uint64_t GetParentRef() const;
  uint64_t GetFileSize() const;
  // Modification time as local time (UTC when the conversion fails); 0 without one.
  uint64_t GetFileTime() const;
  uint64_t GetFileTimeUtc() const;
  CAttrBase* FindUnnamedData();

  CSList<CAttrBase>& GetAttrList(uint32_t k) { return m_attrLists[k]; }
  uint64_t GetRecordNumber() const { return m_recordNumber; }
  CNTFSVolume* GetVolume() const { return m_volume; }
  ByteSpan GetBuffer() const { return m_buffer; }
  // Why the last ReadRecord or ParseAttrs failed, or the fault where it stopped
  // reading attributes; empty when it had none.
  const DecodeError& GetLastError() const { return m_lastError; }

 private:
  void ClearAttrLists();
  // Where a record is read from: the volume's MFT window, the device past it, or $MFTMirr.
  enum class RecordSource { Window, Device, Mirror };
  bool ReadFrom(uint64_t recordNumber, RecordSource source);
  bool ReadRawRecord(uint64_t recordNumber, RecordSource source, std::vector<uint8_t>* out);
  bool ApplyFixups(std::vector<uint8_t>& bytes);
  // Checks the signature and applies the fix-ups of the record just read.
  bool TakeRecord(uint64_t recordNumber);
  bool ParseAttr(ByteSpan attr, size_t offset);
  bool Reject(size_t offset, const char* field, std::string found, std::string expected);
  CAttr_FileName* FirstFileName() const;

  CNTFSVolume* m_volume;
  std::vector<uint8_t> m_buffer;
  uint64_t m_recordNumber = kNoRecord;
  uint32_t m_attrMask = 0xFFFFFFFF;
  std::array<CSList<CAttrBase>, 16> m_attrLists;
  // The unnamed stream assembled from several extents, when it has more than one.
  std::unique_ptr<CAttrNonResident> m_mergedData;
  DecodeError m_lastError;
};
