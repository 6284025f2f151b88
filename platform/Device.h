#pragma once
// Read-only access to a drive or disk image. The interface mirrors what a
// Windows volume handle offers (position, then read, geometry query) so the
// readers above it work the same on every platform.

#include <cstdint>
#include <memory>
#include <string>

struct DiskGeometry {
  uint32_t bytesPerSector = 0;
  uint64_t diskSize = 0;  // bytes
};

class CDevice {
 public:
  virtual ~CDevice() = default;

  // Sets the position of the next Read. False when the offset cannot be used.
  virtual bool Seek(uint64_t offset) = 0;
  // Reads up to length bytes at the current position and advances it.
  // True when the read call itself succeeded; *got tells how many arrived.
  virtual bool Read(void* buffer, uint32_t length, uint32_t* got) = 0;
  // Reads at an offset without moving the position: safe to call from two
  // threads at once, as the signature scan's read-ahead does.
  virtual bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) = 0;
  virtual bool GetGeometry(DiskGeometry* geometry) = 0;

  // The operating system's code and text for the last failure.
  virtual uint32_t LastError() const = 0;
  virtual std::string LastErrorText() const = 0;
};

// Reads exactly length bytes at offset; false on any failure or short read.
bool ReadExactly(CDevice& device, uint64_t offset, void* buffer, uint32_t length);
