#include <algorithm>
#include <cstdio>

#include "platform/Diagnostics.h"

#include "volume/RawVolumeAccess.h"

bool ReadDeviceSectors(CDevice& device, uint32_t bytesPerSector, uint32_t first, uint32_t last,
                       uint8_t* buffer, uint32_t reportedSector) {
  if (last < first || bytesPerSector == 0) return false;
  const uint64_t count = static_cast<uint64_t>(last - first) + 1;
  const uint64_t bytes = count * bytesPerSector;
  if (bytes > UINT32_MAX) return false;
  const uint64_t offset = static_cast<uint64_t>(first) * bytesPerSector;
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    DiagnosticPrintf("Failed accesing sector number %d - SetPointer FAILED! 0x%X\n",
                static_cast<int>(reportedSector), device.LastError());
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
