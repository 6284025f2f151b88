#include "ntfs/NTFSVolume.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "ntfs/FileRecord.h"
#include "platform/ByteOrder.h"

namespace {
// Boot sector offsets.
constexpr size_t kOemId = 0x03;
constexpr size_t kBytesPerSector = 0x0B;
constexpr size_t kSectorsPerCluster = 0x0D;
constexpr size_t kTotalSectors = 0x28;
constexpr size_t kMftCluster = 0x30;
constexpr size_t kMftMirrCluster = 0x38;
constexpr size_t kClustersPerFileRecord = 0x40;
constexpr size_t kClustersPerIndexBlock = 0x44;
constexpr uint32_t kBootSectorSize = 512;

// Bounds that no real volume exceeds; a boot sector outside them is garbage.
constexpr uint32_t kMaxClusterSize = 2u << 20;
constexpr uint32_t kMaxFileRecordSize = 64u << 10;

constexpr uint64_t kVolumeRecord = 3;
constexpr uint64_t kMftRecord = 0;

// n > 0: n clusters; n <= 0: 2 to the power -n bytes. 0 when out of range.
uint32_t DecodeRecordSize(int8_t n, uint32_t clusterSize) {
  if (n > 0) return static_cast<uint32_t>(n) * clusterSize;
  const int shift = -static_cast<int>(n);
  return shift < 31 ? 1u << shift : 0;
}

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
}  // namespace

CNTFSVolume::CNTFSVolume(std::shared_ptr<CDevice> device) : m_device(std::move(device)) { Open(); }

CNTFSVolume::~CNTFSVolume() = default;

bool CNTFSVolume::Reject(DecodeError error) {
  m_openError = error.Text();
  ReportRejected(error);
  return false;
}

void CNTFSVolume::Open() {
  if (!m_device) {
    m_openError = "no device";
    return;
  }
  uint8_t boot[kBootSectorSize];
  if (!ReadExactly(*m_device, 0, boot, kBootSectorSize)) {
    m_openError = "the boot sector cannot be read: " + m_device->LastErrorText();
    m_device.reset();
    return;
  }
  if (!DecodeBootSector(boot)) {
    m_device.reset();
    return;
  }
  if (!CheckVersion()) return;
  LoadMFTRecord();
  if (m_mftData == nullptr) {
    // Without the MFT's data no record from 16 up can be read.
    m_ready = false;
    return;
  }
  FillCache(0);
}

bool CNTFSVolume::DecodeBootSector(const uint8_t* bootBytes) {
  const ByteSpan boot(bootBytes, kBootSectorSize);
  auto reject = [&](size_t offset, const char* field, uint64_t found, const char* expected) {
    return Reject(DecodeError{"NTFS boot sector", offset, field, HexValue(found), expected});
  };
  if (std::memcmp(bootBytes + kOemId, "NTFS    ", 8) != 0) {
    return reject(kOemId, "OEM name", LE64(boot, kOemId), "\"NTFS    \"");
  }
  m_bytesPerSector = LE16(boot, kBytesPerSector);
  m_sectorsPerCluster = LE8(boot, kSectorsPerCluster);
  m_totalSectors = LE64(boot, kTotalSectors);
  if (!IsPowerOfTwo(m_bytesPerSector) || m_bytesPerSector < 256) {
    return reject(kBytesPerSector, "bytes per sector", m_bytesPerSector, "a power of two from 256");
  }
  if (m_sectorsPerCluster == 0) return reject(kSectorsPerCluster, "sectors per cluster", 0, "at least 1");
  m_clusterSize = static_cast<uint32_t>(m_bytesPerSector) * m_sectorsPerCluster;
  if (m_clusterSize > kMaxClusterSize) {
    return reject(kSectorsPerCluster, "sectors per cluster", m_sectorsPerCluster, "clusters of at most 2 MiB");
  }
  m_fileRecordSize = DecodeRecordSize(static_cast<int8_t>(LE8(boot, kClustersPerFileRecord)), m_clusterSize);
  m_indexBlockSize = DecodeRecordSize(static_cast<int8_t>(LE8(boot, kClustersPerIndexBlock)), m_clusterSize);
  if (m_fileRecordSize < 256 || m_fileRecordSize > kMaxFileRecordSize) {
    return reject(kClustersPerFileRecord, "clusters per file record", LE8(boot, kClustersPerFileRecord),
                  "file records of 256 bytes to 64 KiB");
  }
  if (__builtin_mul_overflow(LE64(boot, kMftCluster), static_cast<uint64_t>(m_clusterSize), &m_mftOffset)) {
    return reject(kMftCluster, "MFT cluster", LE64(boot, kMftCluster), "a cluster on a 64-bit device");
  }
  // A mirror past what can be addressed is simply never read.
  if (__builtin_mul_overflow(LE64(boot, kMftMirrCluster), static_cast<uint64_t>(m_clusterSize), &m_mftMirrOffset)) {
    m_mftMirrOffset = UINT64_MAX;
  }
  return true;
}

bool CNTFSVolume::ReadSystemRecord(CFileRecord& record, uint64_t n,
                                   const std::function<DecodeError(CFileRecord&)>& check) {
  const DecodeError fault = record.ReadRecord(n) ? check(record) : record.GetLastError();
  if (fault.empty()) return true;
  if (m_mftMirrOffset != UINT64_MAX && record.ReadMirrorRecord(n) && check(record).empty()) {
    m_notes.push_back("MFT record " + std::to_string(n) + " fails its checks (" + fault.Text() +
                      "): its copy in $MFTMirr is used");
    return true;
  }
  return Reject(fault);
}

bool CNTFSVolume::CheckVersion() {
  CFileRecord volumeRecord(this);
  volumeRecord.SetAttrMask(kMaskVolume);
  const auto check = [this](CFileRecord& record) -> DecodeError {
    record.ParseAttrs();
    CSList<CAttrBase>& infos = record.GetAttrList(6);
    if (infos.IsEmpty()) return DecodeError{"$Volume (MFT record 3)", 0, "$VOLUME_INFORMATION", "none", "one"};
    m_version = static_cast<CAttr_VolInfo*>(infos.At(0))->GetVersion();
    if (m_version < 0x0300) {
      return DecodeError{"$VOLUME_INFORMATION", 0x08, "NTFS version", HexValue(m_version), "3.0 (0x300) or later"};
    }
    return {};
  };
  if (!ReadSystemRecord(volumeRecord, kVolumeRecord, check)) return false;
  m_ready = true;
  return true;
}

void CNTFSVolume::LoadMFTRecord() {
  m_mftRecord = std::make_unique<CFileRecord>(this);
  m_mftRecord->SetAttrMask(kMaskData);
  const auto check = [](CFileRecord& record) -> DecodeError {
    record.ParseAttrs();
    // The MFT's own data may continue in further extents through its attribute list.
    CAttrBase* data = record.FindUnnamedData();
    if (data == nullptr) return DecodeError{"$MFT (MFT record 0)", 0, "$DATA", "none", "the MFT's data stream"};
    if (!data->IsDataRunOK()) {
      const DecodeError& runs = static_cast<CAttrNonResident*>(data)->GetRunListError();
      return runs.empty() ? DecodeError{"$MFT (MFT record 0)", 0, "$DATA run list", "unusable", "usable"} : runs;
    }
    return {};
  };
  if (ReadSystemRecord(*m_mftRecord, kMftRecord, check)) m_mftData = m_mftRecord->FindUnnamedData();
}

bool CNTFSVolume::FillCache(uint64_t position) {
  // Only what the MFT's runs map can be read into the window.
  const uint64_t dataSize = m_mftData->GetReadableSize();
  m_cacheLength = 0;
  if (position >= dataSize) return false;
  uint64_t length = std::min<uint64_t>(kCacheSize, dataSize - position);
  // The MFT cannot be larger than the device it lies on, whatever its size field says.
  DiskGeometry geometry;
  if (m_device->GetGeometry(&geometry)) length = std::min(length, geometry.diskSize);
  if (length < m_fileRecordSize) return false;
  if (m_cache.size() < length) m_cache.resize(length);
  uint32_t got = 0;
  m_cacheStart = position;
  // A failed read keeps only what arrived, so no stale record is handed out.
  m_mftData->ReadData(position, m_cache.data(), static_cast<uint32_t>(length), &got);
  m_cacheLength = got;
  return got == length;
}

bool CNTFSVolume::RecordPosition(uint64_t recordNumber, uint64_t* position) const {
  if (m_mftData == nullptr) return false;
  if (__builtin_mul_overflow(recordNumber, static_cast<uint64_t>(m_fileRecordSize), position)) {
    return false;
  }
  const uint64_t dataSize = m_mftData->GetReadableSize();
  return *position < dataSize && dataSize - *position >= m_fileRecordSize;
}

bool CNTFSVolume::ReadMFTRecord(uint64_t recordNumber, uint8_t* out) {
  uint64_t position = 0;
  if (!RecordPosition(recordNumber, &position)) return false;
  const bool inWindow = position >= m_cacheStart &&
                        position - m_cacheStart + m_fileRecordSize <= m_cacheLength;
  if (!inWindow) {
    FillCache(position);
    if (m_cacheLength < m_fileRecordSize) return false;
  }
  std::memcpy(out, m_cache.data() + (position - m_cacheStart), m_fileRecordSize);
  return true;
}

bool CNTFSVolume::ReadMFTRecordDirect(uint64_t recordNumber, uint8_t* out) {
  uint64_t position = 0;
  uint32_t got = 0;
  return RecordPosition(recordNumber, &position) &&
         m_mftData->ReadData(position, out, m_fileRecordSize, &got) && got == m_fileRecordSize;
}
