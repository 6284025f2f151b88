#include "volume/ExFatVolumeAccess.h"

#include <unordered_set>

#include "platform/Diagnostics.h"

namespace {
// Boot sector offsets.
constexpr size_t kFatOffset = 0x50;
constexpr size_t kClusterHeapOffset = 0x58;
constexpr size_t kClusterCount = 0x5C;
constexpr size_t kRootCluster = 0x60;
constexpr size_t kBytesPerSectorShift = 0x6C;
constexpr size_t kSectorsPerClusterShift = 0x6D;
constexpr uint32_t kBootSectorBytes = 512;
// exFAT allows clusters of up to 32 MiB.
constexpr uint32_t kMaxClusterShift = 25;
constexpr uint64_t kMaxClusters = 0xFFFFFFF5;

// Directory entry: the allocation bitmap's.
constexpr uint8_t kBitmapEntry = 0x81;
constexpr size_t kEntryFirstCluster = 20;
constexpr size_t kEntryDataLength = 24;
constexpr size_t kEntrySize = 32;
// The root directory is searched this far for the bitmap's entry.
constexpr uint64_t kMaxRootBytes = 1u << 20;
}  // namespace

CExFatVolumeAccess::CExFatVolumeAccess(std::shared_ptr<CDevice> device) : m_device(std::move(device)) {
  uint8_t boot[kBootSectorBytes] = {};
  uint32_t got = 0;
  if (!m_device->ReadAt(0, boot, kBootSectorBytes, &got) || got < kBootSectorBytes) {
    m_openError = DecodeError{"exFAT boot sector", 0, "bytes read", std::to_string(got), "512"};
  } else {
    DecodeBootSector(ByteSpan(boot, kBootSectorBytes));
  }
  if (!m_openError.empty()) {
    ReportRejected(m_openError);
    return;
  }
  DiagnosticPrintf("exFAT: sector size is %u bytes, cluster size %u bytes, %llu clusters\n", m_bytesPerSector,
                   m_bytesPerCluster, static_cast<unsigned long long>(m_clusterCount));
  LoadBitmap();
}

bool CExFatVolumeAccess::DecodeBootSector(ByteSpan boot) {
  auto reject = [&](size_t offset, const char* field, uint64_t found, std::string expected) {
    m_openError = DecodeError{"exFAT boot sector", offset, field, HexValue(found), std::move(expected)};
    return false;
  };
  const uint8_t sectorShift = LE8(boot, kBytesPerSectorShift);
  if (sectorShift < 9 || sectorShift > 12) return reject(kBytesPerSectorShift, "bytes per sector shift", sectorShift, "9 to 12");
  const uint8_t clusterShift = LE8(boot, kSectorsPerClusterShift);
  if (sectorShift + clusterShift > kMaxClusterShift) {
    return reject(kSectorsPerClusterShift, "sectors per cluster shift", clusterShift, "clusters of at most 32 MiB");
  }
  m_bytesPerSector = 1u << sectorShift;
  m_sectorsPerCluster = 1u << clusterShift;
  m_bytesPerCluster = m_bytesPerSector << clusterShift;
  m_fatOffset = LE32(boot, kFatOffset);
  if (m_fatOffset == 0) return reject(kFatOffset, "FAT offset", 0, "at least 1");
  m_clusterHeapOffset = LE32(boot, kClusterHeapOffset);
  if (m_clusterHeapOffset <= m_fatOffset) {
    return reject(kClusterHeapOffset, "cluster heap offset", m_clusterHeapOffset, "past the FAT");
  }
  m_clusterCount = std::min<uint64_t>(LE32(boot, kClusterCount), kMaxClusters);
  m_rootCluster = LE32(boot, kRootCluster);
  if (!IsValidCluster(m_rootCluster)) {
    return reject(kRootCluster, "root directory cluster", m_rootCluster, "2 to " + std::to_string(m_clusterCount + 1));
  }
  m_clusterCount =
      ClustersTheDeviceHolds(*m_device, m_clusterCount, m_bytesPerSector, m_clusterHeapOffset, m_sectorsPerCluster);
  return true;
}

void CExFatVolumeAccess::LoadBitmap() {
  std::vector<uint8_t> root;
  if (!ReadChain(m_rootCluster, false, kMaxRootBytes, &root)) return;
  for (size_t at = 0; at + kEntrySize <= root.size(); at += kEntrySize) {
    const ByteSpan entry = ByteSpan(root).subspan(at, kEntrySize);
    if (LE8(entry, 0) == 0x00) break;
    if (LE8(entry, 0) != kBitmapEntry) continue;
    const uint32_t first = LE32(entry, kEntryFirstCluster);
    const uint64_t length = LE64(entry, kEntryDataLength);
    const uint64_t needed = (m_clusterCount + 7) / 8;
    if (!IsValidCluster(first) || length < needed) {
      ReportRejected(DecodeError{"exFAT allocation bitmap entry", at, "data length", std::to_string(length),
                                 "at least " + std::to_string(needed) + " bytes in a cluster of the volume"});
      return;
    }
    if (ReadChain(first, true, needed, &m_bitmap) && m_bitmap.size() >= needed) m_bitmapReadable = true;
    // The second bitmap of a TexFAT volume is never the one in use here.
    return;
  }
  DiagnosticPrintf("No allocation bitmap in the root directory: every cluster counts as free\n");
}

bool CExFatVolumeAccess::IsClusterUsed(uint64_t cluster) {
  if (!m_bitmapReadable || !IsValidCluster(cluster)) return false;
  const uint64_t bit = cluster - 2;
  return (m_bitmap[bit / 8] >> (bit % 8)) & 1;
}

uint64_t CExFatVolumeAccess::ClusterToSector(uint64_t cluster) {
  return m_clusterHeapOffset + static_cast<uint64_t>(m_sectorsPerCluster) * (cluster - 2);
}

bool CExFatVolumeAccess::ReadBytes(uint64_t offset, uint64_t bytes, uint8_t* buffer) {
  if (bytes > UINT32_MAX || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  uint32_t got = 0;
  return m_device->ReadAt(offset, buffer, static_cast<uint32_t>(bytes), &got) && got == bytes;
}

bool CExFatVolumeAccess::ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) {
  uint64_t offset = 0;
  if (last < first || m_bytesPerSector == 0 || __builtin_mul_overflow(first, m_bytesPerSector, &offset)) return false;
  return ReadBytes(offset, (last - first + 1) * m_bytesPerSector, buffer);
}

bool CExFatVolumeAccess::ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) {
  if (last < first || !IsValidCluster(first) || !IsValidCluster(last)) return false;
  return ReadSectors(ClusterToSector(first), ClusterToSector(last) + m_sectorsPerCluster - 1, buffer);
}

uint32_t CExFatVolumeAccess::GetFatEntry(uint64_t cluster) {
  if (!IsValidCluster(cluster)) return kEndOfChain;
  uint8_t entry[4] = {};
  const uint64_t offset = m_fatOffset * m_bytesPerSector + cluster * 4;
  if (!ReadBytes(offset, 4, entry)) return kEndOfChain;
  return LE32(ByteSpan(entry, 4), 0);
}

bool CExFatVolumeAccess::ReadChain(uint32_t first, bool contiguous, uint64_t maxBytes, std::vector<uint8_t>* data) {
  data->clear();
  if (m_bytesPerCluster == 0) return false;
  std::unordered_set<uint64_t> seen;
  std::vector<uint8_t> cluster(m_bytesPerCluster);
  uint64_t c = first;
  while (data->size() < maxBytes && IsValidCluster(c) && seen.insert(c).second) {
    if (!ReadClusters(c, c, cluster.data())) return false;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(m_bytesPerCluster, maxBytes - data->size()));
    data->insert(data->end(), cluster.begin(), cluster.begin() + n);
    c = contiguous ? c + 1 : GetFatEntry(c);
  }
  return !data->empty();
}
