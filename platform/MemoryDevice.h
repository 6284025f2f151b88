#pragma once
// A device over bytes held in memory, for tests and fuzzing.

#include <memory>
#include <vector>

#include "platform/Device.h"

class CMemoryDevice : public CDevice {
 public:
  explicit CMemoryDevice(std::shared_ptr<const std::vector<uint8_t>> bytes,
                         uint32_t bytesPerSector = 512);
  bool Seek(uint64_t offset) override;
  bool Read(void* buffer, uint32_t length, uint32_t* got) override;
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override;
  bool GetGeometry(DiskGeometry* geometry) override;
  uint32_t LastError() const override { return m_lastError; }
  std::string LastErrorText() const override;

 private:
  std::shared_ptr<const std::vector<uint8_t>> m_bytes;
  uint32_t m_bytesPerSector;
  uint64_t m_position = 0;
  uint32_t m_lastError = 0;
};
