#pragma once
// A device read so that a failing sector costs only itself. A read that
// fails is read again in halves, down to single sectors; a sector that still
// fails is returned as zeros, counted, and its number kept. A device that
// fails every read (unplugged, dead) is given up on after a bounded number of
// failed sectors in a row: the read during which that happens returns zeros
// for the rest, and every later read fails at once.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PositionedDevice.h"

class CResilientDevice : public CPositionedDevice {
 public:
  explicit CResilientDevice(std::shared_ptr<CDevice> device);

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override;
  bool GetGeometry(DiskGeometry* geometry) override { return m_device->GetGeometry(geometry); }
  uint32_t LastError() const override { return m_device->LastError(); }
  std::string LastErrorText() const override { return m_device->LastErrorText(); }

  uint32_t SectorSize() const { return m_sectorSize; }
  // Sectors that could not be read so far; a sector read again and failing again counts again.
  uint64_t UnreadableCount() const;
  // The numbers of the unreadable sectors met since the count was mark, as
  // "123, 124 and 6 more"; empty when there were none.
  std::string DescribeUnreadableSince(uint64_t mark) const;
  // The first of the unreadable sectors, up to kKeptSectors of them.
  std::vector<uint64_t> UnreadableSectors() const;
  // True once the device has failed kDeadAfter sectors in a row.
  bool IsDead() const { return m_dead.load(); }

  static constexpr uint64_t kKeptSectors = 100000;
  static constexpr uint32_t kDeadAfter = 8192;

 private:
  void ReadPieces(uint64_t offset, uint8_t* buffer, uint32_t length);
  void MarkUnreadable(uint64_t offset, uint8_t* buffer, uint32_t length);
  void MarkReadable() { m_failedInARow = 0; }

  std::shared_ptr<CDevice> m_device;
  uint32_t m_sectorSize = 512;
  mutable std::mutex m_mutex;
  uint64_t m_unreadableCount = 0;
  std::vector<uint64_t> m_unreadable;  // in the order they failed
  std::atomic<uint32_t> m_failedInARow{0};
  std::atomic<bool> m_dead{false};
};
