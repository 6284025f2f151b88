#pragma once
// Builds small NTFS volumes in memory, byte by byte, for record and
// attribute edge cases that the real tools never write.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Attribute and value builders; every field is placed at its on-disk offset.
Bytes ResidentAttr(uint32_t type, const Bytes& value, const std::u16string& name = u"");
Bytes NonResidentAttr(uint32_t type, const Bytes& runList, uint64_t startVCN, uint64_t lastVCN,
                      uint64_t dataSize, const std::u16string& name = u"");
Bytes StdInfoValue(uint64_t modified, uint32_t fileAttributes = 0);
Bytes FileNameValue(uint64_t parentRef, const std::u16string& name, uint8_t nameType = 1,
                    uint64_t realSize = 0);
Bytes VolInfoValue(uint8_t major, uint8_t minor);
// One $ATTRIBUTE_LIST entry naming the record that holds an attribute.
Bytes AttrListEntry(uint32_t type, uint64_t startVCN, uint64_t recordNumber, uint16_t length = 0x20);
// (lcn, clusters) pairs; lcn -1 makes a sparse run. Offsets are stored relative.
Bytes RunList(const std::vector<std::pair<int64_t, uint64_t>>& runs);

// The stride of a record's update sequence: 512 bytes, on every sector size.
constexpr uint32_t kUpdateStride = 512;

// A FILE record with its update sequence applied: the last two bytes of every
// 512 bytes hold the update sequence number, their bytes kept in the array.
Bytes FileRecordBytes(uint16_t flags, const std::vector<Bytes>& attrs, uint64_t recordNumber = 0,
                      uint32_t recordSize = 1024);

class NtfsImageBuilder {
 public:
  static constexpr uint32_t kBytesPerSector = 512;
  static constexpr uint32_t kSectorsPerCluster = 8;
  static constexpr uint32_t kClusterSize = kBytesPerSector * kSectorsPerCluster;
  static constexpr uint32_t kRecordSize = 1024;
  static constexpr uint64_t kMftCluster = 4;
  static constexpr uint64_t kFirstDataCluster = 64;

  // An NTFS 3.1 volume with an MFT of recordCount records.
  explicit NtfsImageBuilder(uint32_t recordCount = 64, uint8_t major = 3, uint8_t minor = 1);

  void PutRecord(uint64_t n, const Bytes& record);
  void WriteClusters(uint64_t lcn, const Bytes& data);
  // Gives the volume sectors of another size, its clusters staying 4096 bytes.
  void UseSectorSize(uint16_t bytesPerSector);
  // Replaces record 0, for MFT edge cases.
  void PutMftRecord(const std::vector<Bytes>& attrs);
  Bytes& Image() { return m_image; }
  std::shared_ptr<const std::vector<uint8_t>> Share() const {
    return std::make_shared<const std::vector<uint8_t>>(m_image);
  }
  uint32_t RecordCount() const { return m_recordCount; }

 private:
  void Ensure(size_t size);
  uint32_t m_recordCount;
  Bytes m_image;
};
