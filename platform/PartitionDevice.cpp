#include "platform/PartitionDevice.h"

#include <algorithm>

CPartitionDevice::CPartitionDevice(std::shared_ptr<CDevice> disk, uint64_t offset, uint64_t size)
    : CPartitionDevice(std::move(disk), std::vector<DiskExtent>{{offset, size}}) {}

CPartitionDevice::CPartitionDevice(std::shared_ptr<CDevice> disk, std::vector<DiskExtent> extents)
    : m_disk(std::move(disk)), m_extents(std::move(extents)) {
  for (const DiskExtent& e : m_extents) {
    if (__builtin_add_overflow(m_size, e.size, &m_size)) m_size = UINT64_MAX;
  }
}

// A read that spans two stretches goes on into the next, so the view reads
// like one device.
bool CPartitionDevice::ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  if (offset >= m_size) return true;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t start = 0;
  for (const DiskExtent& e : m_extents) {
    if (*got == length) break;
    const uint64_t position = offset + *got;  // below m_size, which a sum of sizes cannot overflow
    if (position >= start && position - start < e.size) {
      const uint64_t within = position - start;
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length - *got, e.size - within));
      uint64_t onDisk = 0;
      uint32_t part = 0;
      if (__builtin_add_overflow(e.offset, within, &onDisk)) return false;
      if (!m_disk->ReadAt(onDisk, out + *got, n, &part)) return *got != 0;
      *got += part;
      if (part < n) break;
    }
    start += e.size;
  }
  return true;
}

bool CPartitionDevice::GetGeometry(DiskGeometry* geometry) {
  DiskGeometry disk;
  if (!m_disk->GetGeometry(&disk)) return false;
  geometry->bytesPerSector = disk.bytesPerSector;
  geometry->diskSize = m_size;
  return true;
}
