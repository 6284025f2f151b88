#pragma once

#include <memory>

#include "platform/Device.h"
#include "volume/VolumeAccess.h"

// Positioned read of whole sectors, shared by the raw and NTFS readers.
bool ReadDeviceSectors(CDevice& device, uint32_t bytesPerSector, uint64_t first, uint64_t last, uint8_t* buffer);

// A volume with no known file system: every sector is one free unit.
class CRawVolumeAccess : public CVolumeAccess {
 public:
  explicit CRawVolumeAccess(std::shared_ptr<CDevice> device);
  uint64_t GetClusterCount() override { return m_sectorCount; }
  uint32_t GetClusterSize() override { return m_clusterSize; }
  uint32_t GetSectorSize() override { return m_bytesPerSector; }
  bool IsClusterUsed(uint64_t) override { return false; }
  uint64_t ClusterToSector(uint64_t cluster) override { return cluster; }
  bool ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) override;
  bool ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) override;

 private:
  void ReadGeometry();
  std::shared_ptr<CDevice> m_device;
  uint32_t m_bytesPerSector = 0;
  uint32_t m_clusterSize = 0;
  uint64_t m_sectorCount = 0;
};
