#include "volume/NTFSVolumeAccess.h"

#include <algorithm>

#include "volume/RawVolumeAccess.h"

CNTFSVolumeAccess::CNTFSVolumeAccess(std::shared_ptr<CDevice> device, const NtfsGeometry& geometry,
                                     std::vector<uint8_t> bitmap)
    : m_device(std::move(device)),
      m_bytesPerSector(geometry.bytesPerSector),
      m_clusterCount(geometry.sectorsPerCluster == 0
                         ? 0
                         : static_cast<uint32_t>(geometry.totalSectors / geometry.sectorsPerCluster)),
      m_clusterSize(geometry.bytesPerSector * geometry.sectorsPerCluster),
      m_sectorsPerCluster(geometry.sectorsPerCluster),
      m_bitmap(std::move(bitmap)) {
  // Clusters beyond the device cannot be read, whatever the boot sector says.
  DiskGeometry disk;
  if (m_clusterSize != 0 && m_device->GetGeometry(&disk)) {
    m_clusterCount = static_cast<uint32_t>(std::min<uint64_t>(m_clusterCount, disk.diskSize / m_clusterSize));
  }
}

bool CNTFSVolumeAccess::IsClusterUsed(uint32_t cluster) {
  const size_t byte = cluster / 8;
  if (byte >= m_bitmap.size()) return true;
  return (m_bitmap[byte] >> (cluster % 8)) & 1;
}

bool CNTFSVolumeAccess::ReadSectors(uint32_t first, uint32_t last, uint8_t* buffer) {
  return ReadDeviceSectors(*m_device, m_bytesPerSector, first, last, buffer, first);
}

bool CNTFSVolumeAccess::ReadClusters(uint32_t first, uint32_t last, uint8_t* buffer) {
  if (last < first) return false;
  const uint32_t firstSector = ClusterToSector(first);
  const uint64_t sectors = (static_cast<uint64_t>(last - first) + 1) * m_sectorsPerCluster;
  return ReadDeviceSectors(*m_device, m_bytesPerSector, firstSector,
                           static_cast<uint32_t>(firstSector + sectors - 1), buffer, firstSector);
}
