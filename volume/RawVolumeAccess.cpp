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
  m_sectorCount = geometry.diskSize / geometry.bytesPerSector;
}

bool CRawVolumeAccess::ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) {
  return ReadDeviceSectors(*m_device, m_bytesPerSector, first, last, buffer);
}

bool CRawVolumeAccess::ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) {
  return ReadSectors(first, last, buffer);
}
