#include "platform/MemoryDevice.h"

#include <cstring>

bool ReadExactly(CDevice& device, uint64_t offset, void* buffer, uint32_t length) {
  uint32_t got = 0;
  return device.ReadAt(offset, buffer, length, &got) && got == length;
}

CMemoryDevice::CMemoryDevice(std::shared_ptr<const std::vector<uint8_t>> bytes,
                             uint32_t bytesPerSector)
    : m_bytes(std::move(bytes)), m_bytesPerSector(bytesPerSector) {}

bool CMemoryDevice::Seek(uint64_t offset) {
  // Like a file handle: positioning past the end succeeds, reading there gives 0 bytes.
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    m_lastError = 22;
    return false;
  }
  m_position = offset;
  return true;
}

bool CMemoryDevice::Read(void* buffer, uint32_t length, uint32_t* got) {
  if (!ReadAt(m_position, buffer, length, got)) return false;
  m_position += *got;
  return true;
}

bool CMemoryDevice::ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  const uint64_t size = m_bytes->size();
  if (offset >= size) return true;
  const uint64_t available = size - offset;
  const uint32_t count = available < length ? static_cast<uint32_t>(available) : length;
  std::memcpy(buffer, m_bytes->data() + offset, count);
  *got = count;
  return true;
}

bool CMemoryDevice::GetGeometry(DiskGeometry* geometry) {
  geometry->bytesPerSector = m_bytesPerSector;
  geometry->diskSize = m_bytes->size();
  return true;
}

std::string CMemoryDevice::LastErrorText() const {
  return m_lastError == 0 ? "no error" : "invalid position";
}
