#pragma once

#include <atomic>
#include <string>

#include "platform/Device.h"

// A block device or image file opened with O_RDONLY. Never opened for writing.
class CPosixDevice : public CDevice {
 public:
  static std::unique_ptr<CPosixDevice> Open(const std::string& path, std::string* error);
  ~CPosixDevice() override;
  bool Seek(uint64_t offset) override;
  bool Read(void* buffer, uint32_t length, uint32_t* got) override;
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override;
  bool GetGeometry(DiskGeometry* geometry) override;
  uint32_t LastError() const override { return static_cast<uint32_t>(m_lastError); }
  std::string LastErrorText() const override;

 private:
  CPosixDevice(int fd, bool isBlockDevice) : m_fd(fd), m_isBlockDevice(isBlockDevice) {}
  int m_fd;
  bool m_isBlockDevice;
  uint64_t m_position = 0;
  // Written by whichever thread failed last; only ever a diagnostic.
  std::atomic<int> m_lastError{0};
};
