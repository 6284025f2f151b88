#pragma once
// Sector and cluster reader of the scanned drive. Units are called clusters;
// on a raw volume one unit is one sector. Sector and cluster numbers are
// 64-bit: a volume past 2 TiB has sectors past 2^32.

#include <cstdint>

class CDevice;

// The clusters of a volume the device really holds, when it holds fewer than
// the volume's own count (an image cut short); a diagnostic line says so.
uint64_t ClustersTheDeviceHolds(CDevice& device, uint64_t clusterCount, uint32_t bytesPerSector,
                                uint64_t firstClusterSector, uint32_t sectorsPerCluster);

class CVolumeAccess {
 public:
  virtual uint64_t GetClusterCount() { return 0; }
  // The number of the first cluster: FAT numbers its clusters from 2.
  virtual uint64_t GetFirstCluster() { return 0; }
  virtual uint32_t GetClusterSize() { return 0; }
  virtual uint32_t GetSectorSize() { return 0; }
  virtual bool IsClusterUsed(uint64_t /*cluster*/) { return true; }
  virtual ~CVolumeAccess() = default;
  virtual uint64_t ClusterToSector(uint64_t /*cluster*/) { return 0; }
  // Where a sector of this reader lies, in bytes from the volume's first.
  virtual uint64_t SectorToVolumeOffset(uint64_t sector) { return sector * GetSectorSize(); }
  // The buffer holds (last - first + 1) sectors or clusters.
  virtual bool ReadSectors(uint64_t /*first*/, uint64_t /*last*/, uint8_t* /*buffer*/) { return true; }
  virtual bool ReadClusters(uint64_t /*first*/, uint64_t /*last*/, uint8_t* /*buffer*/) { return true; }
};
