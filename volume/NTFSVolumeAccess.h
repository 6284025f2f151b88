#pragma once
// The clusters of an NTFS volume, with the free ones known from a copy of
// the volume bitmap.

#include <memory>
#include <vector>

#include "platform/Device.h"
#include "volume/VolumeAccess.h"

// The geometry an NTFS boot sector gives.
struct NtfsGeometry {
  uint32_t bytesPerSector = 0;
  uint32_t sectorsPerCluster = 0;
  uint64_t totalSectors = 0;
};

class CNTFSVolumeAccess : public CVolumeAccess {
 public:
  // Without a bitmap (it could not be read), every cluster counts as free:
  // free space cannot be told from used, and nothing may be missed.
  CNTFSVolumeAccess(std::shared_ptr<CDevice> device, const NtfsGeometry& geometry, std::vector<uint8_t> bitmap);

  uint64_t GetClusterCount() override { return m_clusterCount; }
  uint32_t GetClusterSize() override { return m_clusterSize; }
  uint32_t GetSectorSize() override { return m_bytesPerSector; }
  // With a bitmap, a cluster beyond it counts as used: nothing is known of it.
  bool IsClusterUsed(uint64_t cluster) override;
  uint64_t ClusterToSector(uint64_t cluster) override { return cluster * m_sectorsPerCluster; }
  bool ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) override;
  bool ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) override;
  // The bitmap is needed only while the signature scan runs.
  void ReleaseBitmap() { m_bitmap = {}; }

 private:
  std::shared_ptr<CDevice> m_device;
  uint32_t m_bytesPerSector;
  uint64_t m_clusterCount;
  uint32_t m_clusterSize;
  uint32_t m_sectorsPerCluster;
  std::vector<uint8_t> m_bitmap;
  bool m_everyClusterFree;
};
