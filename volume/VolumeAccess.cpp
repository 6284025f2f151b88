#include <cstdio>

#include "platform/Diagnostics.h"
#include "volume/RawVolumeAccess.h"

bool ReadDeviceSectors(CDevice& device, uint32_t bytesPerSector, uint64_t first, uint64_t last, uint8_t* buffer) {
  if (last < first || bytesPerSector == 0) return false;
  const uint64_t count = last - first + 1;
  uint64_t bytes = 0;
  uint64_t offset = 0;
  if (__builtin_mul_overflow(count, bytesPerSector, &bytes) || bytes > UINT32_MAX ||
      __builtin_mul_overflow(first, bytesPerSector, &offset) || offset > static_cast<uint64_t>(INT64_MAX)) {
    DiagnosticPrintf("Failed accessing sector number %llu - beyond what a device can address\n",
                     static_cast<unsigned long long>(first));
    return false;
  }
  uint32_t got = 0;
  if (!device.ReadAt(offset, buffer, static_cast<uint32_t>(bytes), &got)) {
    DiagnosticPrintf("Error reading from the device, Code: 0x%X\n", device.LastError());
    return false;
  }
  // A short read is a failure: its caller uses none of the buffer.
  return got == bytes;
}

uint64_t ClustersTheDeviceHolds(CDevice& device, uint64_t clusterCount, uint32_t bytesPerSector,
                                uint64_t firstClusterSector, uint32_t sectorsPerCluster) {
  DiskGeometry disk;
  if (bytesPerSector == 0 || sectorsPerCluster == 0 || !device.GetGeometry(&disk)) return clusterCount;
  const uint64_t sectors = disk.diskSize / bytesPerSector;
  const uint64_t held = sectors > firstClusterSector ? (sectors - firstClusterSector) / sectorsPerCluster : 0;
  if (held >= clusterCount) return clusterCount;
  DiagnosticPrintf("The device holds %llu of the volume's %llu clusters\n", static_cast<unsigned long long>(held),
                   static_cast<unsigned long long>(clusterCount));
  return held;
}
