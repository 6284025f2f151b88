#pragma once
// Attribute objects of an MFT record: resident values read from the record
// buffer, non-resident streams read cluster by cluster through their runs.

#include <memory>
#include <string>
#include <vector>

#include "ntfs/DataRuns.h"
#include "ntfs/SList.h"
#include "platform/Device.h"
#include "platform/ByteOrder.h"

class CNTFSVolume;
class CFileRecord;

enum : uint32_t {
  kAttrStandardInformation = 0x10,
  kAttrAttributeList = 0x20,
  kAttrFileName = 0x30,
  kAttrVolumeName = 0x60,
  kAttrVolumeInformation = 0x70,
  kAttrData = 0x80,
  kAttrEnd = 0xFFFFFFFF,
};

class CAttrBase {
 public:
  // attr spans the whole attribute, header included, inside the owner's buffer.
  CAttrBase(ByteSpan attr, CFileRecord* owner);
  virtual ~CAttrBase() = default;
  virtual bool IsDataRunOK() const = 0;
  virtual uint64_t GetDataSize(uint64_t* allocatedSize = nullptr) const = 0;
  // Reads length bytes at offset; *got tells how many were copied.
  virtual bool ReadData(uint64_t offset, uint8_t* buffer, uint32_t length, uint32_t* got) = 0;
  // The bytes that can be read at all: the data size, cut to what the runs map.
  virtual uint64_t GetReadableSize() const { return GetDataSize(); }

  uint32_t GetType() const { return LE32(m_header, 0x00); }
  uint8_t GetNameLength() const { return LE8(m_header, 0x09); }
  bool IsNonResident() const { return LE8(m_header, 0x08) != 0; }

 protected:
  ByteSpan m_header;
  uint16_t m_bytesPerSector;
  uint32_t m_clusterSize;
  uint32_t m_indexBlockSize;
  std::shared_ptr<CDevice> m_device;
  CFileRecord* m_owner;
};

class CAttrResident : public CAttrBase {
 public:
  CAttrResident(ByteSpan attr, CFileRecord* owner);
  // False when the value does not lie inside the attribute.
  static bool IsWellFormed(ByteSpan attr) { return CheckHeader(attr).empty(); }
  // What makes a resident header unusable; empty when it is well formed.
  static DecodeError CheckHeader(ByteSpan attr);
  bool IsDataRunOK() const override { return true; }
  uint64_t GetDataSize(uint64_t* allocatedSize = nullptr) const override;
  bool ReadData(uint64_t offset, uint8_t* buffer, uint32_t length, uint32_t* got) override;

 protected:
  ByteSpan m_value;
};

class CAttrNonResident : public CAttrBase {
 public:
  CAttrNonResident(ByteSpan attr, CFileRecord* owner);
  static bool IsWellFormed(ByteSpan attr) { return CheckHeader(attr).empty(); }
  static DecodeError CheckHeader(ByteSpan attr);
  bool IsDataRunOK() const override { return m_runsOK; }
  // The fault of the run list, usable or not; empty when it had none.
  const DecodeError& GetRunListError() const { return m_runsError; }
  uint64_t GetDataSize(uint64_t* allocatedSize = nullptr) const override;
  bool ReadData(uint64_t offset, uint8_t* buffer, uint32_t length, uint32_t* got) override;

  uint64_t GetReadableSize() const override;
  uint64_t GetStartVCN() const { return m_startVCN; }
  uint64_t GetLastVCN() const { return m_lastVCN; }
  const std::vector<tagDataRun_Entry>& GetRuns() const { return m_runs; }

  // One stream made of the extents of an unnamed stream that continues in
  // further attributes, in VCN order. Sizes come from the extent at VCN 0.
  static std::unique_ptr<CAttrNonResident> MergeExtents(std::vector<CAttrNonResident*> extents);

 private:
  CAttrNonResident(const CAttrNonResident& first, std::vector<tagDataRun_Entry> runs,
                   uint64_t lastVCN, bool runsOK);
  bool ReadLogicalClusters(int64_t lcn, uint64_t count, uint8_t* buffer);
  bool ReadVirtualClusters(uint64_t vcn, uint64_t count, uint8_t* buffer, uint64_t bufferSize,
                           uint64_t* got);
  bool ReadOneCluster(uint64_t vcn);

  std::vector<tagDataRun_Entry> m_runs;
  bool m_runsOK = false;
  DecodeError m_runsError;
  uint64_t m_startVCN;
  uint64_t m_lastVCN;
  uint64_t m_allocatedSize;
  uint64_t m_dataSize;
  std::vector<uint8_t> m_clusterBuffer;
};

class CAttr_StdInfo : public CAttrResident {
 public:
  using CAttrResident::CAttrResident;
  uint64_t GetModificationTime() const { return LE64(m_value, 0x08); }
  uint32_t GetFileAttributes() const { return LE32(m_value, 0x20); }
};

class CFileName {
 public:
  explicit CFileName(ByteSpan value) : m_fileName(value) {}
  uint64_t GetParentRef() const { return LE64(m_fileName, 0x00); }
  uint64_t GetRealSize() const { return LE64(m_fileName, 0x30); }
  uint8_t GetNameType() const { return LE8(m_fileName, 0x41); }
  // Characters of the name that lie inside the value.
  uint8_t GetFileNameLength() const;
  std::u16string GetName() const;

 private:
  ByteSpan m_fileName;
};

class CAttr_FileName : public CAttrResident, public CFileName {
 public:
  CAttr_FileName(ByteSpan attr, CFileRecord* owner)
      : CAttrResident(attr, owner), CFileName(m_value) {}
};

class CAttr_VolInfo : public CAttrResident {
 public:
  using CAttrResident::CAttrResident;
  uint16_t GetVersion() const {
    return static_cast<uint16_t>((LE8(m_value, 0x08) << 8) | LE8(m_value, 0x09));
  }
};

class CAttr_VolName : public CAttrResident {
 public:
  CAttr_VolName(ByteSpan attr, CFileRecord* owner);
  const std::string& GetName() const { return m_name; }

 private:
  std::string m_name;
};

template <class Base>
class CAttr_Data : public Base {
 public:
  using Base::Base;
};

// Pulls the selected attributes held in extension records into the owner.
template <class Base>
class CAttr_AttrList : public Base {
 public:
  CAttr_AttrList(ByteSpan attr, CFileRecord* owner);

 private:
  void ExpandAttrList();
  CSList<CFileRecord> m_extensionRecords;
};

// Builds the attribute object for a header; null for a malformed one (said
// in *error when given) or a type that is not read.
std::unique_ptr<CAttrBase> CreateAttribute(ByteSpan attr, CFileRecord* owner, DecodeError* error = nullptr);
