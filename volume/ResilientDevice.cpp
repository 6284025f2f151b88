#include "volume/ResilientDevice.h"

#include <algorithm>
#include <cstring>

#include "platform/Diagnostics.h"

CResilientDevice::CResilientDevice(std::shared_ptr<CDevice> device) : m_device(std::move(device)) {
  DiskGeometry geometry;
  if (m_device->GetGeometry(&geometry) && geometry.bytesPerSector >= 512 && geometry.bytesPerSector <= 65536) {
    m_sectorSize = geometry.bytesPerSector;
  }
}

bool CResilientDevice::ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  if (m_dead) return false;
  if (m_device->ReadAt(offset, buffer, length, got)) {
    // A short read that succeeds is the end of the device, not a fault.
    if (*got != 0) MarkReadable();
    return true;
  }
  // What is past the end of the device is not asked of it again.
  DiskGeometry geometry;
  uint32_t wanted = length;
  if (m_device->GetGeometry(&geometry)) {
    wanted = offset >= geometry.diskSize ? 0 : static_cast<uint32_t>(std::min<uint64_t>(length, geometry.diskSize - offset));
  }
  *got = 0;
  if (wanted == 0) return true;
  ReadPieces(offset, static_cast<uint8_t*>(buffer), wanted);
  *got = wanted;
  return true;
}

void CResilientDevice::ReadPieces(uint64_t offset, uint8_t* buffer, uint32_t length) {
  // The read during which the device is given up on still returns what came before.
  if (m_dead) {
    std::memset(buffer, 0, length);
    return;
  }
  const uint64_t sectorEnd = (offset / m_sectorSize + 1) * m_sectorSize;
  if (offset + length <= sectorEnd) {
    uint32_t got = 0;
    if (m_device->ReadAt(offset, buffer, length, &got) && got == length) {
      MarkReadable();
      return;
    }
    MarkUnreadable(offset, buffer, length);
    return;
  }
  // Halves split at a sector boundary, so that every piece ends on one.
  const uint64_t sectors = (offset + length - 1) / m_sectorSize - offset / m_sectorSize + 1;
  const uint64_t middle = (offset / m_sectorSize + sectors / 2) * m_sectorSize;
  const uint32_t head = static_cast<uint32_t>(middle - offset);
  for (const auto& [at, n] : {std::pair<uint64_t, uint32_t>{offset, head}, {middle, length - head}}) {
    uint32_t got = 0;
    uint8_t* out = buffer + (at - offset);
    if (!m_dead && m_device->ReadAt(at, out, n, &got) && got == n) {
      MarkReadable();
      continue;
    }
    ReadPieces(at, out, n);
  }
}

void CResilientDevice::MarkUnreadable(uint64_t offset, uint8_t* buffer, uint32_t length) {
  std::memset(buffer, 0, length);
  const uint64_t sector = offset / m_sectorSize;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_unreadableCount;
    if (m_unreadable.size() < kKeptSectors) m_unreadable.push_back(sector);
  }
  DiagnosticPrintf("Sector %llu cannot be read (%s): taken as zeros\n", static_cast<unsigned long long>(sector),
                   m_device->LastErrorText().c_str());
  if (++m_failedInARow >= kDeadAfter && !m_dead.exchange(true)) {
    DiagnosticPrintf("%u sectors in a row cannot be read: the device is given up on\n", kDeadAfter);
  }
}

uint64_t CResilientDevice::UnreadableCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_unreadableCount;
}

std::vector<uint64_t> CResilientDevice::UnreadableSectors() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_unreadable;
}

std::string CResilientDevice::DescribeUnreadableSince(uint64_t mark) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_unreadableCount <= mark) return "";
  const uint64_t count = m_unreadableCount - mark;
  std::string text;
  const size_t first = static_cast<size_t>(std::min<uint64_t>(mark, m_unreadable.size()));
  const size_t shown = std::min<size_t>(m_unreadable.size() - first, 2);
  for (size_t i = 0; i < shown; ++i) text += (i == 0 ? "" : ", ") + std::to_string(m_unreadable[first + i]);
  if (count > shown) text += (shown == 0 ? "" : " and ") + std::to_string(count - shown) + " more";
  return text;
}
