#pragma once
// Builds FAT32 volumes and directory entries in memory, byte by byte.

#include <cstdint>
#include <cstddef>
#include <climits>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A 32-byte short entry; name11 is the 8.3 name as stored ("README  TXT").
Bytes ShortEntry(const std::string& name11, uint8_t attributes, uint32_t firstCluster, uint32_t size,
                 uint16_t writeDate = 0x5871, uint16_t writeTime = 0x5000);
// The long-name entries for a name, in on-disk order (last part first).
std::vector<Bytes> LongNameEntries(const std::u16string& name, bool deleted = false);
Bytes Concat(const std::vector<Bytes>& parts);

class FatImageBuilder {
 public:
  static constexpr uint32_t kBytesPerSector = 512;
  // A volume of 1 sector per cluster, 32 reserved sectors, 2 FATs, and as
  // many clusters as the FAT maps. The image holds at most clustersHeld of
  // them; the boot sector still gives the whole volume's size.
  explicit FatImageBuilder(uint32_t sectorsPerFat = 16, uint8_t sectorsPerCluster = 1, uint32_t rootCluster = 2,
                           uint32_t clustersHeld = UINT32_MAX);
  void SetFat(uint32_t cluster, uint32_t value);
  void WriteCluster(uint32_t cluster, const Bytes& data);
  uint64_t ClusterOffset(uint32_t cluster) const;
  Bytes& Image() { return m_image; }
  uint64_t VolumeBytes() const { return m_volumeBytes; }

 private:
  uint32_t m_sectorsPerFat;
  uint8_t m_sectorsPerCluster;
  Bytes m_image;
  uint64_t m_volumeBytes = 0;
};
