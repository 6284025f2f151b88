#include "support/NtfsImageBuilder.h"

#include <cstring>

namespace {
void Put16(Bytes& b, size_t off, uint16_t v) {
  if (b.size() < off + 2) b.resize(off + 2);
  b[off] = v & 0xFF;
  b[off + 1] = v >> 8;
}
void Put32(Bytes& b, size_t off, uint32_t v) {
  Put16(b, off, v & 0xFFFF);
  Put16(b, off + 2, v >> 16);
}
void Put64(Bytes& b, size_t off, uint64_t v) {
  Put32(b, off, static_cast<uint32_t>(v));
  Put32(b, off + 4, static_cast<uint32_t>(v >> 32));
}
size_t Align8(size_t n) { return (n + 7) & ~size_t{7}; }
}  // namespace

Bytes ResidentAttr(uint32_t type, const Bytes& value, const std::u16string& name) {
  const size_t nameOffset = 0x18;
  const size_t valueOffset = Align8(nameOffset + name.size() * 2);
  Bytes a(Align8(valueOffset + value.size()), 0);
  Put32(a, 0x00, type);
  Put32(a, 0x04, static_cast<uint32_t>(a.size()));  // total length
  a[0x08] = 0;                                       // resident
  a[0x09] = static_cast<uint8_t>(name.size());       // name length
  Put16(a, 0x0A, nameOffset);                        // name offset
  Put32(a, 0x10, static_cast<uint32_t>(value.size()));
  Put16(a, 0x14, static_cast<uint16_t>(valueOffset));
  for (size_t i = 0; i < name.size(); ++i) Put16(a, nameOffset + 2 * i, name[i]);
  std::memcpy(a.data() + valueOffset, value.data(), value.size());
  return a;
}

Bytes NonResidentAttr(uint32_t type, const Bytes& runList, uint64_t startVCN, uint64_t lastVCN,
                      uint64_t dataSize, const std::u16string& name) {
  const size_t nameOffset = 0x40;
  const size_t runOffset = Align8(nameOffset + name.size() * 2);
  Bytes a(Align8(runOffset + runList.size() + 1), 0);
  Put32(a, 0x00, type);
  Put32(a, 0x04, static_cast<uint32_t>(a.size()));
  a[0x08] = 1;  // non-resident
  a[0x09] = static_cast<uint8_t>(name.size());
  Put16(a, 0x0A, nameOffset);
  Put64(a, 0x10, startVCN);
  Put64(a, 0x18, lastVCN);
  Put16(a, 0x20, static_cast<uint16_t>(runOffset));
  const uint64_t allocated = (lastVCN + 1) * NtfsImageBuilder::kClusterSize;
  Put64(a, 0x28, allocated);
  Put64(a, 0x30, dataSize);
  Put64(a, 0x38, dataSize);  // initialised size
  for (size_t i = 0; i < name.size(); ++i) Put16(a, nameOffset + 2 * i, name[i]);
  std::memcpy(a.data() + runOffset, runList.data(), runList.size());
  return a;
}

Bytes StdInfoValue(uint64_t modified, uint32_t fileAttributes) {
  Bytes v(0x48, 0);
  Put64(v, 0x00, modified);  // created
  Put64(v, 0x08, modified);  // modified
  Put64(v, 0x10, modified);  // MFT changed
  Put64(v, 0x18, modified);  // accessed
  Put32(v, 0x20, fileAttributes);
  return v;
}

Bytes FileNameValue(uint64_t parentRef, const std::u16string& name, uint8_t nameType, uint64_t realSize) {
  Bytes v(0x42 + name.size() * 2, 0);
  Put64(v, 0x00, parentRef);
  Put64(v, 0x28, realSize);  // allocated size
  Put64(v, 0x30, realSize);  // real size
  v[0x40] = static_cast<uint8_t>(name.size());
  v[0x41] = nameType;
  for (size_t i = 0; i < name.size(); ++i) Put16(v, 0x42 + 2 * i, name[i]);
  return v;
}

Bytes VolInfoValue(uint8_t major, uint8_t minor) {
  Bytes v(0x0C, 0);
  v[0x08] = major;
  v[0x09] = minor;
  return v;
}

Bytes AttrListEntry(uint32_t type, uint64_t startVCN, uint64_t recordNumber, uint16_t length) {
  Bytes e(0x20, 0);
  Put32(e, 0x00, type);
  Put16(e, 0x04, length);    // entry length
  e[0x07] = 0x1A;            // name offset
  Put64(e, 0x08, startVCN);
  Put64(e, 0x10, recordNumber | (1ULL << 48));  // sequence 1 in the high 16 bits
  return e;
}

Bytes RunList(const std::vector<std::pair<int64_t, uint64_t>>& runs) {
  Bytes out;
  int64_t previous = 0;
  for (const auto& [lcn, clusters] : runs) {
    Bytes length, offset;
    for (uint64_t v = clusters; v != 0 || length.empty(); v >>= 8) length.push_back(v & 0xFF);
    if (length.back() & 0x80) length.push_back(0);
    if (lcn >= 0) {
      int64_t delta = lcn - previous;
      previous = lcn;
      do {
        offset.push_back(static_cast<uint8_t>(delta & 0xFF));
        delta >>= 8;
      } while (!((delta == 0 && !(offset.back() & 0x80)) || (delta == -1 && (offset.back() & 0x80))));
    }
    out.push_back(static_cast<uint8_t>((offset.size() << 4) | length.size()));
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), offset.begin(), offset.end());
  }
  out.push_back(0);
  return out;
}

Bytes FileRecordBytes(uint16_t flags, const std::vector<Bytes>& attrs, uint64_t recordNumber,
                      uint32_t recordSize) {
  Bytes r(recordSize, 0);
  std::memcpy(r.data(), "FILE", 4);
  // The update sequence protects every 512 bytes, whatever the sector size.
  const uint32_t sectors = recordSize / kUpdateStride;
  Put16(r, 0x04, 0x30);                  // update sequence offset
  Put16(r, 0x06, static_cast<uint16_t>(sectors + 1));
  Put16(r, 0x10, 1);                     // sequence number
  Put16(r, 0x12, 1);                     // link count
  Put16(r, 0x14, 0x38);                  // first attribute
  Put16(r, 0x16, flags);
  Put32(r, 0x1C, recordSize);            // allocated size
  Put32(r, 0x2C, static_cast<uint32_t>(recordNumber));
  size_t offset = 0x38;
  for (const Bytes& a : attrs) {
    std::memcpy(r.data() + offset, a.data(), a.size());
    offset += a.size();
  }
  Put32(r, offset, 0xFFFFFFFF);          // end of attributes
  Put32(r, 0x18, static_cast<uint32_t>(offset + 8));  // used size
  const uint16_t usn = 0x0001;
  Put16(r, 0x30, usn);
  for (uint32_t i = 0; i < sectors; ++i) {
    const size_t end = (i + 1) * kUpdateStride - 2;
    r[0x32 + 2 * i] = r[end];
    r[0x33 + 2 * i] = r[end + 1];
    Put16(r, end, usn);
  }
  return r;
}

NtfsImageBuilder::NtfsImageBuilder(uint32_t recordCount, uint8_t major, uint8_t minor)
    : m_recordCount(recordCount), m_image(kFirstDataCluster * kClusterSize, 0) {
  Bytes& boot = m_image;
  boot[0] = 0xEB;
  std::memcpy(boot.data() + 0x03, "NTFS    ", 8);
  Put16(boot, 0x0B, kBytesPerSector);
  boot[0x0D] = kSectorsPerCluster;
  Put64(boot, 0x28, 1ULL << 20);  // total sectors
  Put64(boot, 0x30, kMftCluster);
  boot[0x40] = 0xF6;              // 2^10 = 1024-byte records
  boot[0x44] = 1;                 // one cluster per index block
  PutMftRecord({});
  PutRecord(3, FileRecordBytes(1, {ResidentAttr(0x70, VolInfoValue(major, minor))}, 3));
}

void NtfsImageBuilder::PutMftRecord(const std::vector<Bytes>& attrs) {
  std::vector<Bytes> all = attrs;
  if (all.empty()) {
    const uint64_t mftBytes = static_cast<uint64_t>(m_recordCount) * kRecordSize;
    const uint64_t clusters = (mftBytes + kClusterSize - 1) / kClusterSize;
    all.push_back(NonResidentAttr(0x80, RunList({{kMftCluster, clusters}}), 0, clusters - 1, mftBytes));
  }
  PutRecord(0, FileRecordBytes(1, all, 0));
}

void NtfsImageBuilder::UseSectorSize(uint16_t bytesPerSector) {
  Put16(m_image, 0x0B, bytesPerSector);
  m_image[0x0D] = static_cast<uint8_t>(kClusterSize / bytesPerSector);
  Put64(m_image, 0x28, (kClusterSize / bytesPerSector) * (1ULL << 17));  // the same 512 MiB
}

void NtfsImageBuilder::Ensure(size_t size) {
  if (m_image.size() < size) m_image.resize(size, 0);
}

void NtfsImageBuilder::PutRecord(uint64_t n, const Bytes& record) {
  const size_t offset = kMftCluster * kClusterSize + n * kRecordSize;
  Ensure(offset + record.size());
  std::memcpy(m_image.data() + offset, record.data(), record.size());
}

void NtfsImageBuilder::WriteClusters(uint64_t lcn, const Bytes& data) {
  const size_t offset = lcn * kClusterSize;
  Ensure(offset + ((data.size() + kClusterSize - 1) / kClusterSize) * kClusterSize);
  std::memcpy(m_image.data() + offset, data.data(), data.size());
}
