#pragma once
// A FAT volume, FAT32 and its elders FAT16 and FAT12 alike: its geometry from
// its own boot sector, clusters numbered from 2, the first readable FAT held
// in memory (entries widened to FAT32's values), and sector numbers counted
// from the end of the reserved sectors. FAT12 and FAT16 keep their root
// directory in a fixed region before the clusters.

#include <memory>
#include <vector>

#include "platform/Device.h"
#include "platform/ByteOrder.h"
#include "volume/DecodeError.h"
#include "volume/VolumeAccess.h"

// The one rule for a cluster number read from a FAT volume: 2 up to the
// count plus 1. Cluster numbers 0 and 1 name no data.
inline bool IsValidFatCluster(uint64_t cluster, uint64_t clusterCount) {
  return cluster >= 2 && cluster - 2 < clusterCount;
}

class CFAT32VolumeAccess : public CVolumeAccess {
 public:
  explicit CFAT32VolumeAccess(std::shared_ptr<CDevice> device);

  uint64_t GetClusterCount() override { return m_clusterCount; }
  uint64_t GetFirstCluster() override { return 2; }
  uint32_t GetClusterSize() override { return m_bytesPerCluster; }
  uint32_t GetSectorSize() override { return m_bytesPerSector; }
  // A cluster whose FAT entry is 0. Without a readable FAT every cluster is free.
  bool IsClusterUsed(uint64_t cluster) override;
  uint64_t ClusterToSector(uint64_t cluster) override;
  // Sectors are numbered from the end of the reserved area.
  uint64_t SectorToVolumeOffset(uint64_t sector) override {
    return (sector + m_reservedSectors) * m_bytesPerSector;
  }
  bool ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) override;
  bool ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) override;

  bool ReadCluster(uint64_t cluster, uint8_t* buffer);
  // With a null buffer, measures the chain from first into *size; otherwise
  // reads at most *size bytes of it, cluster by cluster.
  bool ReadClusterChain(uint32_t first, uint8_t* buffer, uint32_t* size);
  // The root directory's first cluster; 0 on FAT12 and FAT16, whose root is a fixed region.
  uint32_t GetRootCluster() const;
  bool HasFixedRoot() const { return m_rootDirSectors != 0; }
  bool ReadFixedRoot(std::vector<uint8_t>* data);
  // 12, 16 or 32.
  uint32_t FatBits() const { return m_fatBits; }
  // The entry of a valid cluster; kEndOfChain for any other number.
  uint32_t GetFatEntry(uint64_t cluster) const;
  // The one rule for a cluster number read from the disk: 2 up to the count plus 1.
  bool IsValidCluster(uint64_t cluster) const { return IsValidFatCluster(cluster, m_clusterCount); }
  // False when neither copy of the FAT could be read: chains cannot be
  // followed and every cluster counts as free.
  bool IsFatReadable() const { return m_fatReadable; }
  // True when every copy of the FAT has sectors that could not be read: the
  // clusters they map count as free.
  bool IsFatDamaged() const { return m_fatDamaged; }
  // Why the volume cannot be read as FAT; empty when it can.
  const DecodeError& GetOpenError() const { return m_openError; }

  static constexpr uint32_t kEndOfChain = 0x0FFFFFFF;
  static bool IsEndOfChain(uint32_t entry) { return entry >= 0x0FFFFFF8; }

 private:
  bool DecodeBootSector(ByteSpan boot);
  void LoadFat();
  uint32_t DecodeFatEntry(ByteSpan fat, uint64_t cluster) const;
  bool ReadAt(uint64_t sector, uint64_t bytes, uint8_t* buffer);
  uint64_t CountUntilRepeat(uint32_t first) const;

  std::shared_ptr<CDevice> m_device;
  uint32_t m_bytesPerSector = 0;
  uint32_t m_sectorsPerCluster = 0;
  uint32_t m_bytesPerCluster = 0;
  uint32_t m_reservedSectors = 0;
  uint32_t m_fatCount = 0;
  uint32_t m_sectorsPerFat = 0;
  uint32_t m_rootCluster = 0;
  uint32_t m_rootDirSectors = 0;
  uint32_t m_fatBits = 32;
  uint64_t m_clusterCount = 0;
  std::vector<uint32_t> m_fat;
  bool m_fatReadable = false;
  bool m_fatDamaged = false;
  DecodeError m_openError;
};
