#include "volume/NTFSVolumeAccess.h"

#include <algorithm>

#include "volume/RawVolumeAccess.h"

CNTFSVolumeAccess::CNTFSVolumeAccess(std::shared_ptr<CDevice> device, const NtfsGeometry& geometry,
                                     std::vector<uint8_t> bitmap)
    : m_device(std::move(device)),
      m_bytesPerSector(geometry.bytesPerSector),
      m_clusterCount(geometry.sectorsPerCluster == 0 ? 0 : geometry.totalSectors / geometry.sectorsPerCluster),
      m_clusterSize(geometry.bytesPerSector * geometry.sectorsPerCluster),
      m_sectorsPerCluster(geometry.sectorsPerCluster),
      m_bitmap(std::move(bitmap)),
      m_everyClusterFree(m_bitmap.empty()) {
  // Clusters beyond the device cannot be read, whatever the boot sector says.
  DiskGeometry disk;
  if (m_clusterSize != 0 && m_device->GetGeometry(&disk)) {
    m_clusterCount = std::min<uint64_t>(m_clusterCount, disk.diskSize / m_clusterSize);
  }
}

bool CNTFSVolumeAccess::IsClusterUsed(uint64_t cluster) {
  if (m_everyClusterFree) return false;
  const uint64_t byte = cluster / 8;
  if (byte >= m_bitmap.size()) return true;
  return (m_bitmap[byte] >> (cluster % 8)) & 1;
}

bool CNTFSVolumeAccess::ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) {
  return ReadDeviceSectors(*m_device, m_bytesPerSector, first, last, buffer);
}

bool CNTFSVolumeAccess::ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) {
  if (last < first || m_sectorsPerCluster == 0) return false;
  const uint64_t firstSector = ClusterToSector(first);
  const uint64_t sectors = (last - first + 1) * m_sectorsPerCluster;
  return ReadDeviceSectors(*m_device, m_bytesPerSector, firstSector, firstSector + sectors - 1, buffer);
}
