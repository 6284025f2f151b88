#include "platform/PartitionDevice.h"

#include <algorithm>

CPartitionDevice::CPartitionDevice(std::shared_ptr<CDevice> disk, uint64_t offset, uint64_t size)
    : m_disk(std::move(disk)), m_offset(offset), m_size(size) {}

bool CPartitionDevice::ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  if (offset >= m_size) return true;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, m_size - offset));
  uint64_t onDisk = 0;
  if (__builtin_add_overflow(m_offset, offset, &onDisk)) return false;
  return m_disk->ReadAt(onDisk, buffer, n, got);
}

bool CPartitionDevice::GetGeometry(DiskGeometry* geometry) {
  DiskGeometry disk;
  if (!m_disk->GetGeometry(&disk)) return false;
  geometry->bytesPerSector = disk.bytesPerSector;
  geometry->diskSize = m_size;
  return true;
}
