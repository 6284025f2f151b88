#pragma once

#include <memory>

#include "platform/Device.h"
#include "volume/VolumeAccess.h"

// Positioned read of whole sectors, shared by the raw and NTFS readers.
bool ReadDeviceSectors(CDevice& device, uint32_t bytesPerSector, uint32_t first, uint32_t last,
                       uint8_t* buffer, uint32_t reportedSector);

// A volume with no known file system: every sector is one free unit.
class CRawVolumeAccess : public CVolumeAccess {
 public:
  explicit CRawVolumeAccess(std::shared_ptr<CDevice> device);
  uint32_t GetClusterCount() override { return m_sectorCount; }
  uint32_t GetClusterSize() override { return m_clusterSize; }
  uint32_t GetSectorSize() override { return m_bytesPerSector; }
  bool IsClusterUsed(uint32_t) override { return false; }
  uint32_t ClusterToSector(uint32_t cluster) override { return cluster; }
  bool ReadSectors(uint32_t first, uint32_t last, uint8_t* buffer) override;
  bool ReadClusters(uint32_t first, uint32_t last, uint8_t* buffer) override;

 private:
  void ReadGeometry();
  std::shared_ptr<CDevice> m_device;
  uint32_t m_bytesPerSector = 0;
  uint32_t m_clusterSize = 0;
  uint32_t m_sectorCount = 0;
};
