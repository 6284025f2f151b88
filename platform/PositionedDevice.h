#pragma once
// A device whose Seek and Read keep a position of their own and read through
// ReadAt, as the devices over memory, over another device or over part of one do.

#include <cstdint>

#include "platform/Device.h"

class CPositionedDevice : public CDevice {
 public:
  // Like a file handle: any position a 64-bit signed offset can hold; reading past the end gives 0 bytes.
  bool Seek(uint64_t offset) override {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
    m_position = offset;
    return true;
  }
  bool Read(void* buffer, uint32_t length, uint32_t* got) override {
    if (!ReadAt(m_position, buffer, length, got)) return false;
    m_position += *got;
    return true;
  }

 private:
  uint64_t m_position = 0;
};
