#include "volume/FAT32VolumeAccess.h"

#include <algorithm>
#include <unordered_set>

#include "platform/Diagnostics.h"
#include "volume/ByteOrder.h"
#include "volume/RawVolumeAccess.h"

namespace {
// Boot sector offsets.
constexpr size_t kSectorsPerCluster = 0x0D;
constexpr size_t kReservedSectors = 0x0E;
constexpr size_t kNumberOfFats = 0x10;
constexpr size_t kSectorsPerFat = 0x24;
constexpr size_t kRootCluster = 0x2C;
constexpr uint32_t kBootSectorKept = 90;
// A FAT bigger than this belongs to no volume we can hold; a hostile boot
// sector asking for more gets what the device has, up to this.
constexpr uint64_t kMaxFatBytes = 1ULL << 30;
constexpr uint32_t kMaxDirectoryClusters = 65536;
}  // namespace

CFAT32VolumeAccess::CFAT32VolumeAccess(std::shared_ptr<CDevice> device) : m_device(std::move(device)) { Load(); }

void CFAT32VolumeAccess::Load() {
  m_bootSector.assign(kBootSectorKept, 0);
  DiskGeometry geometry;
  if (m_device->GetGeometry(&geometry)) {
    m_bytesPerSector = geometry.bytesPerSector;
    DiagnosticPrintf("Sector size is %d bytes\n", static_cast<int>(m_bytesPerSector));
  }
  if (m_bytesPerSector == 0) {
    m_openError = DecodeError{"device", 0, "bytes per sector", "0", "the device's sector size"};
    return;
  }
  DiagnosticPrintf("Boot sector size = %d Bytes\n", static_cast<int>(kBootSectorKept));
  std::vector<uint8_t> sector(m_bytesPerSector);
  if (!m_device->Seek(0)) {
    DiagnosticPrintf("SetPointer FAILED! 0x%X\n", m_device->LastError());
  } else {
    uint32_t got = 0;
    if (!m_device->Read(sector.data(), m_bytesPerSector, &got)) {
      DiagnosticPrintf("Error reading from the file 0x%X\n", m_device->LastError());
    }
    std::copy_n(sector.begin(), std::min<size_t>(got, kBootSectorKept), m_bootSector.begin());
  }
  const ByteSpan boot(m_bootSector);
  m_bytesPerCluster = LE8(boot, kSectorsPerCluster) * m_bytesPerSector;
  if (m_bytesPerCluster == 0) {
    m_openError = DecodeError{"FAT32 boot sector", kSectorsPerCluster, "sectors per cluster", "0", "1 to 128"};
  } else if (LE32(boot, kSectorsPerFat) == 0) {
    m_openError = DecodeError{"FAT32 boot sector", kSectorsPerFat, "sectors per FAT", "0", "at least 1"};
  }
  if (!m_openError.empty()) {
    ReportRejected(m_openError);
    return;
  }

  DiagnosticPrintf("Reading FATs Data...");
  uint64_t fatBytes = static_cast<uint64_t>(LE32(boot, kSectorsPerFat)) * m_bytesPerSector;
  fatBytes = std::min({fatBytes, geometry.diskSize, kMaxFatBytes});
  std::vector<uint8_t> raw(fatBytes - fatBytes % 4);
  uint32_t got = 0;
  if (!raw.empty() && m_device->Seek(static_cast<uint64_t>(LE16(boot, kReservedSectors)) * m_bytesPerSector)) {
    m_device->Read(raw.data(), static_cast<uint32_t>(raw.size()), &got);
  }
  // Only entries that were read count, and only clusters that lie on the
  // device: the rest of the table describes nothing that can be read.
  uint64_t entries = got / 4;
  if (m_bytesPerCluster != 0) entries = std::min<uint64_t>(entries, geometry.diskSize / m_bytesPerCluster + 2);
  m_fat.resize(entries);
  for (size_t i = 0; i < m_fat.size(); ++i) m_fat[i] = LE32(raw, 4 * i);
  DiagnosticPrintf("DONE!\n");
}

uint64_t CFAT32VolumeAccess::CountUntilRepeat(uint32_t first) const {
  std::unordered_set<uint32_t> seen;
  for (uint32_t q = first; q < m_fat.size() && seen.insert(q).second; q = m_fat[q]) {
  }
  return seen.size();
}

uint32_t CFAT32VolumeAccess::GetClusterCount() {
  return m_fat.size() > 2 ? static_cast<uint32_t>(m_fat.size() - 2) : 0;
}

uint32_t CFAT32VolumeAccess::GetFatEntry(uint32_t cluster) const {
  return cluster < m_fat.size() ? m_fat[cluster] : kEndOfChain;
}

bool CFAT32VolumeAccess::IsClusterUsed(uint32_t cluster) { return GetFatEntry(cluster) != 0; }

uint32_t CFAT32VolumeAccess::ClusterToSector(uint32_t cluster) {
  const ByteSpan boot(m_bootSector);
  return LE8(boot, kNumberOfFats) * LE32(boot, kSectorsPerFat) + LE8(boot, kSectorsPerCluster) * (cluster - 2);
}

uint32_t CFAT32VolumeAccess::GetRootCluster() const { return LE32(m_bootSector, kRootCluster); }

bool CFAT32VolumeAccess::ReadAt(uint32_t sector, uint64_t bytes, uint8_t* buffer) {
  if (bytes > UINT32_MAX || m_bytesPerSector == 0) return false;
  const uint64_t offset = (static_cast<uint64_t>(LE16(m_bootSector, kReservedSectors)) + sector) * m_bytesPerSector;
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    DiagnosticPrintf("Failed accesing sector number %d - SetPointer FAILED! 0x%X\n", static_cast<int>(sector),
                     m_device->LastError());
    return false;
  }
  uint32_t got = 0;
  return m_device->ReadAt(offset, buffer, static_cast<uint32_t>(bytes), &got) && got == bytes;
}

bool CFAT32VolumeAccess::ReadSectors(uint32_t first, uint32_t last, uint8_t* buffer) {
  if (last < first) return false;
  return ReadAt(first, (static_cast<uint64_t>(last - first) + 1) * m_bytesPerSector, buffer);
}

bool CFAT32VolumeAccess::ReadClusters(uint32_t first, uint32_t last, uint8_t* buffer) {
  if (last < first) return false;
  return ReadAt(ClusterToSector(first), (static_cast<uint64_t>(last - first) + 1) * m_bytesPerCluster, buffer);
}

bool CFAT32VolumeAccess::ReadCluster(uint32_t cluster, uint8_t* buffer) {
  return ReadAt(ClusterToSector(cluster), m_bytesPerCluster, buffer);
}

bool CFAT32VolumeAccess::ReadClusterChain(uint32_t first, uint8_t* buffer, uint32_t* size) {
  const uint32_t count = GetClusterCount();
  if (buffer == nullptr) {
    uint64_t links = 0;
    uint32_t q = first;
    if (q != kEndOfChain) {
      for (;;) {
        if (q == 0) {
          *size = m_bytesPerCluster;
          return true;
        }
        if (q >= count) break;
        // Chains measured here are directories, which never pass 65536
        // clusters: a longer one most likely runs in a cycle, and holds the
        // clusters up to the first one met again.
        if (links > std::min<uint32_t>(count, kMaxDirectoryClusters)) {
          links = CountUntilRepeat(first);
          break;
        }
        q = GetFatEntry(q);
        ++links;
        if (q == kEndOfChain) break;
      }
    }
    const uint64_t bytes = links * m_bytesPerCluster;
    *size = bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
    return true;
  }
  if (m_bytesPerCluster == 0) return false;
  // The measured size bounds the walk, whatever the chain does while it is read.
  const uint32_t clusters = *size / m_bytesPerCluster;
  uint32_t q = first;
  for (uint32_t i = 0; i < clusters && q != kEndOfChain; ++i) {
    if (q == 0 || q >= count) return true;
    if (!ReadCluster(q, buffer + static_cast<size_t>(i) * m_bytesPerCluster)) return false;
    q = GetFatEntry(q);
  }
  return true;
}
