#include "volume/RawVolumeAccess.h"

CRawVolumeAccess::CRawVolumeAccess(std::shared_ptr<CDevice> device) : m_device(std::move(device)) {
  ReadGeometry();
}

void CRawVolumeAccess::ReadGeometry() {
  DiskGeometry geometry;
  // A failed query leaves every size 0: the volume shows no units and nothing is read.
  if (!m_device->GetGeometry(&geometry) || geometry.bytesPerSector == 0) return;
  m_bytesPerSector = geometry.bytesPerSector;
  m_clusterSize = geometry.bytesPerSector;
  m_sectorCount = static_cast<uint32_t>(geometry.diskSize / geometry.bytesPerSector);
}

bool CRawVolumeAccess::ReadSectors(uint32_t first, uint32_t last, uint8_t* buffer) {
  return ReadDeviceSectors(*m_device, m_bytesPerSector, first, last, buffer, first);
}

bool CRawVolumeAccess::ReadClusters(uint32_t first, uint32_t last, uint8_t* buffer) {
  return ReadSectors(first, last, buffer);
}
