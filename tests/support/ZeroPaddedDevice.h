#pragma once
// A device of any size whose first bytes are held in memory and whose rest
// reads as zeros: large volumes in tests without their bytes.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/PositionedDevice.h"

class CZeroPaddedDevice : public CPositionedDevice {
 public:
  CZeroPaddedDevice(std::shared_ptr<const std::vector<uint8_t>> head, uint64_t size, uint32_t bytesPerSector = 512)
      : m_head(std::move(head)), m_size(size), m_bytesPerSector(bytesPerSector) {}

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override {
    *got = 0;
    if (offset >= m_size) return true;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, m_size - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, n);
    if (offset < m_head->size()) {
      std::memcpy(out, m_head->data() + offset, std::min<uint64_t>(n, m_head->size() - offset));
    }
    *got = n;
    return true;
  }
  bool GetGeometry(DiskGeometry* geometry) override {
    geometry->bytesPerSector = m_bytesPerSector;
    geometry->diskSize = m_size;
    return true;
  }
  uint32_t LastError() const override { return 0; }
  std::string LastErrorText() const override { return ""; }

 private:
  std::shared_ptr<const std::vector<uint8_t>> m_head;
  uint64_t m_size;
  uint32_t m_bytesPerSector;
};
