#pragma once
// A device over bytes in memory that fails like a dying drive: every read
// that touches one of the given sectors fails, and so does every read that
// reaches the sector failFrom or beyond. It counts the reads asked of it.

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "platform/PositionedDevice.h"

class CFailingDevice : public CPositionedDevice {
 public:
  CFailingDevice(std::shared_ptr<const std::vector<uint8_t>> bytes, std::set<uint64_t> badSectors,
                 uint64_t failFrom = UINT64_MAX, uint32_t sectorSize = 512)
      : m_bytes(std::move(bytes)), m_bad(std::move(badSectors)), m_failFrom(failFrom), m_sectorSize(sectorSize) {}

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override {
    ++reads;
    *got = 0;
    if (offset >= m_bytes->size() || length == 0) return true;
    const uint64_t end = std::min<uint64_t>(offset + length, m_bytes->size());
    const uint64_t first = offset / m_sectorSize, last = (end - 1) / m_sectorSize;
    if (last >= m_failFrom || m_bad.lower_bound(first) != m_bad.upper_bound(last)) return false;
    std::memcpy(buffer, m_bytes->data() + offset, end - offset);
    *got = static_cast<uint32_t>(end - offset);
    return true;
  }
  bool GetGeometry(DiskGeometry* geometry) override {
    geometry->bytesPerSector = m_sectorSize;
    geometry->diskSize = m_bytes->size();
    return true;
  }
  uint32_t LastError() const override { return 5; }
  std::string LastErrorText() const override { return "Input/output error"; }

  uint64_t reads = 0;

 private:
  std::shared_ptr<const std::vector<uint8_t>> m_bytes;
  std::set<uint64_t> m_bad;
  uint64_t m_failFrom;
  uint32_t m_sectorSize;
};
