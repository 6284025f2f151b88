#pragma once
// A view of part of a device: a partition of a whole disk or disk image.
// Offsets are from the partition's first byte, and a read past its end
// ends there, as a read past the end of a device does.

#include <memory>

#include "platform/PositionedDevice.h"

class CPartitionDevice : public CPositionedDevice {
 public:
  CPartitionDevice(std::shared_ptr<CDevice> disk, uint64_t offset, uint64_t size);

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override;
  bool GetGeometry(DiskGeometry* geometry) override;
  uint32_t LastError() const override { return m_disk->LastError(); }
  std::string LastErrorText() const override { return m_disk->LastErrorText(); }

 private:
  std::shared_ptr<CDevice> m_disk;
  uint64_t m_offset;
  uint64_t m_size;
};
