#include "support/FatImageBuilder.h"

#include <algorithm>
#include <cstring>

namespace {
void Put16(Bytes& b, size_t off, uint16_t v) {
  b[off] = v & 0xFF;
  b[off + 1] = v >> 8;
}
void Put32(Bytes& b, size_t off, uint32_t v) {
  Put16(b, off, v & 0xFFFF);
  Put16(b, off + 2, v >> 16);
}
constexpr uint32_t kReserved = 32;
constexpr uint32_t kFats = 2;
}  // namespace

Bytes ShortEntry(const std::string& name11, uint8_t attributes, uint32_t firstCluster, uint32_t size,
                 uint16_t writeDate, uint16_t writeTime) {
  Bytes e(32, 0);
  std::memcpy(e.data(), name11.data(), std::min<size_t>(11, name11.size()));
  e[0x0B] = attributes;
  Put16(e, 0x0E, 0x5000);        // creation time 10:00
  Put16(e, 0x10, 0x5871);        // creation date 2024-03-17
  Put16(e, 0x12, 0x5871);        // last access date
  Put16(e, 0x14, firstCluster >> 16);
  Put16(e, 0x16, writeTime);
  Put16(e, 0x18, writeDate);
  Put16(e, 0x1A, firstCluster & 0xFFFF);
  Put32(e, 0x1C, size);
  return e;
}

std::vector<Bytes> LongNameEntries(const std::u16string& name, bool deleted) {
  const size_t count = (name.size() + 12) / 13;
  std::vector<Bytes> entries;
  for (size_t k = count; k-- > 0;) {
    Bytes e(32, 0xFF);
    e[0] = deleted ? 0xE5 : static_cast<uint8_t>((k + 1) | (k + 1 == count ? 0x40 : 0));
    e[0x0B] = 0x0F;  // long-name attributes
    e[0x0C] = 0;
    e[0x0D] = 0;     // checksum, not checked
    Put16(e, 0x1A, 0);
    const size_t offsets[] = {0x01, 0x03, 0x05, 0x07, 0x09, 0x0E, 0x10, 0x12, 0x14, 0x16, 0x18, 0x1C, 0x1E};
    for (size_t c = 0; c < 13; ++c) {
      const size_t i = k * 13 + c;
      const uint16_t ch = i < name.size() ? name[i] : (i == name.size() ? 0 : 0xFFFF);
      Put16(e, offsets[c], ch);
    }
    entries.push_back(e);
  }
  return entries;
}

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

FatImageBuilder::FatImageBuilder(uint32_t sectorsPerFat, uint8_t sectorsPerCluster, uint32_t rootCluster,
                                 uint32_t clustersHeld)
    : m_sectorsPerFat(sectorsPerFat), m_sectorsPerCluster(sectorsPerCluster) {
  const uint32_t clusters = sectorsPerFat * kBytesPerSector / 4;
  const uint64_t metadataSectors = kReserved + kFats * sectorsPerFat;
  m_volumeBytes = (metadataSectors + static_cast<uint64_t>(clusters) * sectorsPerCluster) * kBytesPerSector;
  const uint64_t held = std::min(clusters, clustersHeld);
  m_image.assign((metadataSectors + held * sectorsPerCluster) * kBytesPerSector, 0);
  std::memcpy(m_image.data() + 3, "MSWIN4.1", 8);
  Put16(m_image, 0x0B, kBytesPerSector);
  m_image[0x0D] = sectorsPerCluster;
  Put16(m_image, 0x0E, kReserved);
  m_image[0x10] = kFats;
  Put32(m_image, 0x24, sectorsPerFat);
  Put32(m_image, 0x20, static_cast<uint32_t>(m_volumeBytes / kBytesPerSector));  // total sectors
  Put32(m_image, 0x2C, rootCluster);
  std::memcpy(m_image.data() + 0x52, "FAT32   ", 8);  // file system type
  m_image[0x1FE] = 0x55;                               // boot signature
  m_image[0x1FF] = 0xAA;
  SetFat(0, 0x0FFFFFF8);
  SetFat(1, 0x0FFFFFFF);
  SetFat(rootCluster, 0x0FFFFFFF);
}

void FatImageBuilder::SetFat(uint32_t cluster, uint32_t value) {
  Put32(m_image, kReserved * kBytesPerSector + 4 * static_cast<size_t>(cluster), value);
}

uint64_t FatImageBuilder::ClusterOffset(uint32_t cluster) const {
  return (kReserved + kFats * m_sectorsPerFat + static_cast<uint64_t>(cluster - 2) * m_sectorsPerCluster) * kBytesPerSector;
}

void FatImageBuilder::WriteCluster(uint32_t cluster, const Bytes& data) {
  std::memcpy(m_image.data() + ClusterOffset(cluster), data.data(), data.size());
}
