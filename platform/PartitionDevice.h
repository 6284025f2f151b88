#pragma once
// A view of part of a device: a partition of a whole disk or disk image, or
// the stretches between partitions read one after another. Offsets are from
// the view's first byte, and a read past its end ends there, as a read past
// the end of a device does.

#include <memory>
#include <vector>

#include "platform/Partitions.h"
#include "platform/PositionedDevice.h"

class CPartitionDevice : public CPositionedDevice {
 public:
  CPartitionDevice(std::shared_ptr<CDevice> disk, uint64_t offset, uint64_t size);
  CPartitionDevice(std::shared_ptr<CDevice> disk, std::vector<DiskExtent> extents);

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override;
  bool GetGeometry(DiskGeometry* geometry) override;
  uint32_t LastError() const override { return m_disk->LastError(); }
  std::string LastErrorText() const override { return m_disk->LastErrorText(); }

 private:
  std::shared_ptr<CDevice> m_disk;
  std::vector<DiskExtent> m_extents;
  uint64_t m_size = 0;
};
