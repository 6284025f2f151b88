#include "volume/FAT32VolumeAccess.h"

#include <algorithm>
#include <unordered_set>

#include "platform/Diagnostics.h"
#include "platform/ByteOrder.h"
#include "volume/ResilientDevice.h"

namespace {
// Boot sector offsets.
constexpr size_t kBytesPerSector = 0x0B;
constexpr size_t kSectorsPerCluster = 0x0D;
constexpr size_t kReservedSectors = 0x0E;
constexpr size_t kNumberOfFats = 0x10;
constexpr size_t kRootEntryCount = 0x11;
constexpr size_t kTotalSectors16 = 0x13;
constexpr size_t kSectorsPerFat16 = 0x16;
constexpr size_t kTotalSectors32 = 0x20;
constexpr size_t kSectorsPerFat = 0x24;
constexpr size_t kRootCluster = 0x2C;
constexpr uint32_t kBootSectorBytes = 512;
// FAT32 entries are 28 bits; the top four are reserved.
constexpr uint32_t kEntryMask = 0x0FFFFFFF;
constexpr uint64_t kMaxClusters = 0x0FFFFFF5;
// FAT12 and FAT16 by their cluster counts, as Linux tells them apart.
constexpr uint64_t kMaxFat12Clusters = 4084;
constexpr uint64_t kMaxFat16Clusters = 65524;
constexpr uint32_t kMaxClusterBytes = 2u << 20;
constexpr uint32_t kMaxDirectoryClusters = 65536;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
}  // namespace

CFAT32VolumeAccess::CFAT32VolumeAccess(std::shared_ptr<CDevice> device) : m_device(std::move(device)) {
  uint8_t boot[kBootSectorBytes] = {};
  uint32_t got = 0;
  if (!m_device->ReadAt(0, boot, kBootSectorBytes, &got) || got < kBootSectorBytes) {
    m_openError = DecodeError{"FAT boot sector", 0, "bytes read", std::to_string(got), "512"};
    ReportRejected(m_openError);
    return;
  }
  if (!DecodeBootSector(ByteSpan(boot, kBootSectorBytes))) {
    ReportRejected(m_openError);
    return;
  }
  DiagnosticPrintf("FAT%u: sector size is %u bytes, cluster size %u bytes, %llu clusters\n", m_fatBits,
                   m_bytesPerSector, m_bytesPerCluster, static_cast<unsigned long long>(m_clusterCount));
  LoadFat();
}

bool CFAT32VolumeAccess::DecodeBootSector(ByteSpan boot) {
  auto reject = [&](size_t offset, const char* field, uint64_t found, std::string expected) {
    m_openError = DecodeError{"FAT boot sector", offset, field, HexValue(found), std::move(expected)};
    return false;
  };
  m_bytesPerSector = LE16(boot, kBytesPerSector);
  if (m_bytesPerSector < 512 || m_bytesPerSector > 4096 || !IsPowerOfTwo(m_bytesPerSector)) {
    return reject(kBytesPerSector, "bytes per sector", m_bytesPerSector, "512, 1024, 2048 or 4096");
  }
  m_sectorsPerCluster = LE8(boot, kSectorsPerCluster);
  if (!IsPowerOfTwo(m_sectorsPerCluster)) {
    return reject(kSectorsPerCluster, "sectors per cluster", m_sectorsPerCluster, "1 to 128");
  }
  m_bytesPerCluster = m_bytesPerSector * m_sectorsPerCluster;
  if (m_bytesPerCluster > kMaxClusterBytes) {
    return reject(kSectorsPerCluster, "sectors per cluster", m_sectorsPerCluster, "clusters of at most 2 MiB");
  }
  m_reservedSectors = LE16(boot, kReservedSectors);
  if (m_reservedSectors == 0) return reject(kReservedSectors, "reserved sectors", 0, "at least 1");
  m_fatCount = LE8(boot, kNumberOfFats);
  if (m_fatCount == 0) return reject(kNumberOfFats, "number of FATs", 0, "at least 1");
  // FAT12 and FAT16 give their FAT's size in a 16-bit field and keep the
  // root directory in a fixed region after the FATs; FAT32 leaves that field 0.
  const uint16_t sectorsPerFat16 = LE16(boot, kSectorsPerFat16);
  m_sectorsPerFat = sectorsPerFat16 != 0 ? sectorsPerFat16 : LE32(boot, kSectorsPerFat);
  if (m_sectorsPerFat == 0) return reject(kSectorsPerFat, "sectors per FAT", 0, "at least 1");
  if (sectorsPerFat16 != 0) {
    const uint32_t rootBytes = static_cast<uint32_t>(LE16(boot, kRootEntryCount)) * 32;
    m_rootDirSectors = (rootBytes + m_bytesPerSector - 1) / m_bytesPerSector;
    if (m_rootDirSectors == 0) return reject(kRootEntryCount, "root directory entries", 0, "at least 1");
  } else {
    m_rootCluster = LE32(boot, kRootCluster);
  }
  const uint64_t totalSectors = LE16(boot, kTotalSectors16) != 0 ? LE16(boot, kTotalSectors16)
                                                                  : LE32(boot, kTotalSectors32);
  const uint64_t dataStart = m_reservedSectors + static_cast<uint64_t>(m_fatCount) * m_sectorsPerFat + m_rootDirSectors;
  if (totalSectors <= dataStart) {
    return reject(kTotalSectors32, "total sectors", totalSectors,
                  "more than the " + std::to_string(dataStart) + " sectors before the data area");
  }
  const uint64_t dataClusters = (totalSectors - dataStart) / m_sectorsPerCluster;
  m_fatBits = sectorsPerFat16 == 0 ? 32 : dataClusters > kMaxFat12Clusters ? 16 : 12;
  const uint64_t maxClusters = m_fatBits == 32 ? kMaxClusters : m_fatBits == 16 ? kMaxFat16Clusters : kMaxFat12Clusters;
  // The clusters the volume holds, as many as its FAT can map, and as many as the device holds.
  const uint64_t fatEntries = static_cast<uint64_t>(m_sectorsPerFat) * m_bytesPerSector * 8 / m_fatBits;
  m_clusterCount = std::min({dataClusters, fatEntries > 2 ? fatEntries - 2 : 0, maxClusters});
  m_clusterCount = ClustersTheDeviceHolds(*m_device, m_clusterCount, m_bytesPerSector, dataStart, m_sectorsPerCluster);
  return true;
}

void CFAT32VolumeAccess::LoadFat() {
  // Entries 0 and 1 are reserved; the entry of cluster c is at c * 4, c * 2 or c * 3 / 2.
  const uint64_t bytes = ((m_clusterCount + 2) * m_fatBits + 7) / 8;
  std::vector<uint8_t> raw(bytes), copyBytes(bytes);
  // On a failing drive a copy read with sectors taken as zeros is whole only
  // in part: the next copy is tried, and the first is kept if none is whole.
  auto* resilient = dynamic_cast<CResilientDevice*>(m_device.get());
  bool whole = false;
  for (uint32_t copy = 0; copy < m_fatCount && !whole; ++copy) {
    const uint64_t fatSector = static_cast<uint64_t>(copy) * m_sectorsPerFat;
    DiagnosticPrintf("Reading FAT %u...\n", copy + 1);
    const uint64_t unreadableBefore = resilient ? resilient->UnreadableCount() : 0;
    if (!ReadAt(fatSector, bytes, copyBytes.data())) continue;
    whole = !resilient || resilient->UnreadableCount() == unreadableBefore;
    if (whole || !m_fatReadable) raw.swap(copyBytes);
    m_fatReadable = true;
  }
  if (!m_fatReadable) {
    DiagnosticPrintf("No copy of the FAT can be read: every cluster counts as free\n");
    return;
  }
  m_fatDamaged = !whole;
  m_fat.resize(m_clusterCount + 2);
  for (size_t i = 0; i < m_fat.size(); ++i) m_fat[i] = DecodeFatEntry(raw, i);
}

// FAT12 and FAT16 entries are widened so that one set of values serves: their
// end-of-chain and bad-cluster values become FAT32's.
uint32_t CFAT32VolumeAccess::DecodeFatEntry(ByteSpan fat, uint64_t cluster) const {
  uint32_t entry = 0;
  uint32_t top = 0;
  switch (m_fatBits) {
    case 12: {
      const uint16_t pair = LE16(fat, cluster * 3 / 2);
      entry = (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
      top = 0x0FF7;
      break;
    }
    case 16:
      entry = LE16(fat, cluster * 2);
      top = 0xFFF7;
      break;
    default:
      return LE32(fat, cluster * 4) & kEntryMask;
  }
  return entry >= top ? 0x0FFFFFF7u + (entry - top) : entry;
}

uint64_t CFAT32VolumeAccess::CountUntilRepeat(uint32_t first) const {
  std::unordered_set<uint32_t> seen;
  for (uint32_t q = first; IsValidCluster(q) && seen.insert(q).second; q = GetFatEntry(q)) {
  }
  return seen.size();
}

uint32_t CFAT32VolumeAccess::GetFatEntry(uint64_t cluster) const {
  return IsValidCluster(cluster) && cluster < m_fat.size() ? m_fat[cluster] : kEndOfChain;
}

bool CFAT32VolumeAccess::IsClusterUsed(uint64_t cluster) {
  if (!m_fatReadable) return false;
  return GetFatEntry(cluster) != 0;
}

uint64_t CFAT32VolumeAccess::ClusterToSector(uint64_t cluster) {
  return static_cast<uint64_t>(m_fatCount) * m_sectorsPerFat + m_rootDirSectors +
         static_cast<uint64_t>(m_sectorsPerCluster) * (cluster - 2);
}

bool CFAT32VolumeAccess::ReadFixedRoot(std::vector<uint8_t>* data) {
  if (m_rootDirSectors == 0) return false;
  data->assign(static_cast<size_t>(m_rootDirSectors) * m_bytesPerSector, 0);
  return ReadAt(static_cast<uint64_t>(m_fatCount) * m_sectorsPerFat, data->size(), data->data());
}

uint32_t CFAT32VolumeAccess::GetRootCluster() const { return m_rootCluster; }

bool CFAT32VolumeAccess::ReadAt(uint64_t sector, uint64_t bytes, uint8_t* buffer) {
  if (bytes > UINT32_MAX || m_bytesPerSector == 0) return false;
  uint64_t offset = 0;
  if (__builtin_add_overflow(sector, m_reservedSectors, &offset) ||
      __builtin_mul_overflow(offset, m_bytesPerSector, &offset) || offset > static_cast<uint64_t>(INT64_MAX)) {
    DiagnosticPrintf("Failed accessing sector number %llu - beyond what a device can address\n",
                     static_cast<unsigned long long>(sector));
    return false;
  }
  uint32_t got = 0;
  return m_device->ReadAt(offset, buffer, static_cast<uint32_t>(bytes), &got) && got == bytes;
}

bool CFAT32VolumeAccess::ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) {
  if (last < first) return false;
  return ReadAt(first, (last - first + 1) * m_bytesPerSector, buffer);
}

bool CFAT32VolumeAccess::ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) {
  if (last < first || !IsValidCluster(first) || !IsValidCluster(last)) return false;
  return ReadAt(ClusterToSector(first), (last - first + 1) * m_bytesPerCluster, buffer);
}

bool CFAT32VolumeAccess::ReadCluster(uint64_t cluster, uint8_t* buffer) { return ReadClusters(cluster, cluster, buffer); }

bool CFAT32VolumeAccess::ReadClusterChain(uint32_t first, uint8_t* buffer, uint32_t* size) {
  if (buffer == nullptr) {
    uint64_t links = 0;
    uint32_t q = first;
    if (!IsEndOfChain(q)) {
      for (;;) {
        if (q == 0) {
          *size = m_bytesPerCluster;
          return true;
        }
        if (!IsValidCluster(q)) break;
        // Chains measured here are directories, which never pass 65536
        // clusters: a longer one most likely runs in a cycle, and holds the
        // clusters up to the first one met again.
        if (links > std::min<uint64_t>(m_clusterCount, kMaxDirectoryClusters)) {
          links = CountUntilRepeat(first);
          break;
        }
        q = GetFatEntry(q);
        ++links;
        if (IsEndOfChain(q)) break;
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
  for (uint32_t i = 0; i < clusters && !IsEndOfChain(q); ++i) {
    if (!IsValidCluster(q)) return true;
    if (!ReadCluster(q, buffer + static_cast<size_t>(i) * m_bytesPerCluster)) return false;
    q = GetFatEntry(q);
  }
  return true;
}
