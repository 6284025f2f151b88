#include "ntfs/Attributes.h"

#include <algorithm>
#include <cstring>

#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/Text.h"

namespace {
// Attribute header offsets.
constexpr size_t kResidentValueLength = 0x10;
constexpr size_t kResidentValueOffset = 0x14;
constexpr size_t kResidentHeaderSize = 0x18;
constexpr size_t kStartVCN = 0x10;
constexpr size_t kLastVCN = 0x18;
constexpr size_t kRunListOffset = 0x20;
constexpr size_t kAllocatedSize = 0x28;
constexpr size_t kDataSize = 0x30;
constexpr size_t kNonResidentHeaderSize = 0x40;

// $ATTRIBUTE_LIST entry offsets; 26 bytes are enough for what is read.
constexpr uint32_t kListEntrySize = 26;
constexpr size_t kListEntryType = 0x00;
constexpr size_t kListEntryLength = 0x04;
constexpr size_t kListEntryRecordLow = 0x10;
constexpr size_t kListEntryRecordHigh = 0x14;
// No real attribute list comes near this many entries; a hostile one stops here.
constexpr uint32_t kMaxListEntries = 8192;

// $FILE_NAME value offsets.
constexpr size_t kFileNameLength = 0x40;
constexpr size_t kFileNameChars = 0x42;
}  // namespace

CAttrBase::CAttrBase(ByteSpan attr, CFileRecord* owner)
    : m_header(attr),
      m_bytesPerSector(owner->GetVolume()->GetBytesPerSector()),
      m_clusterSize(owner->GetVolume()->GetBytesPerCluster()),
      m_indexBlockSize(owner->GetVolume()->GetIndexBlockSize()),
      m_device(owner->GetVolume()->GetDeviceHandle()),
      m_owner(owner) {}

DecodeError CAttrResident::CheckHeader(ByteSpan attr) {
  const std::string structure = "resident attribute " + HexValue(LE32(attr, 0x00));
  if (attr.size() < kResidentHeaderSize) {
    return {structure, 0x04, "length", HexValue(attr.size()), "at least " + HexValue(kResidentHeaderSize)};
  }
  const uint16_t offset = LE16(attr, kResidentValueOffset);
  const uint32_t length = LE32(attr, kResidentValueLength);
  if (!Fits(attr, offset, length)) {
    return {structure, kResidentValueLength, "value", HexValue(length) + " bytes at " + HexValue(offset),
            "within the attribute's " + HexValue(attr.size()) + " bytes"};
  }
  return {};
}

CAttrResident::CAttrResident(ByteSpan attr, CFileRecord* owner) : CAttrBase(attr, owner) {
  if (IsWellFormed(attr)) {
    m_value = attr.subspan(LE16(attr, kResidentValueOffset), LE32(attr, kResidentValueLength));
  }
}

uint64_t CAttrResident::GetDataSize(uint64_t* allocatedSize) const {
  if (allocatedSize) *allocatedSize = m_value.size();
  return m_value.size();
}

bool CAttrResident::ReadData(uint64_t offset, uint8_t* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  if (length == 0) return true;
  if (offset >= m_value.size()) return false;
  const uint64_t count = std::min<uint64_t>(length, m_value.size() - offset);
  std::memcpy(buffer, m_value.data() + offset, count);
  *got = static_cast<uint32_t>(count);
  return true;
}

DecodeError CAttrNonResident::CheckHeader(ByteSpan attr) {
  const std::string structure = "non-resident attribute " + HexValue(LE32(attr, 0x00));
  if (attr.size() < kNonResidentHeaderSize) {
    return {structure, 0x04, "length", HexValue(attr.size()), "at least " + HexValue(kNonResidentHeaderSize)};
  }
  if (LE16(attr, kRunListOffset) >= attr.size()) {
    return {structure, kRunListOffset, "run list offset", HexValue(LE16(attr, kRunListOffset)),
            "below the attribute's length " + HexValue(attr.size())};
  }
  if (LE64(attr, kLastVCN) < LE64(attr, kStartVCN)) {
    return {structure, kLastVCN, "last VCN", HexValue(LE64(attr, kLastVCN)),
            "at least the start VCN " + HexValue(LE64(attr, kStartVCN))};
  }
  return {};
}

CAttrNonResident::CAttrNonResident(ByteSpan attr, CFileRecord* owner)
    : CAttrBase(attr, owner),
      m_startVCN(LE64(attr, kStartVCN)),
      m_lastVCN(LE64(attr, kLastVCN)),
      m_allocatedSize(LE64(attr, kAllocatedSize)),
      m_dataSize(LE64(attr, kDataSize)) {
  const uint16_t runListOffset = LE16(attr, kRunListOffset);
  if (IsWellFormed(attr)) {
    m_runsOK = ParseDataRuns(attr.subspan(runListOffset), m_startVCN, m_lastVCN, &m_runs, &m_runsError);
  }
}

CAttrNonResident::CAttrNonResident(const CAttrNonResident& first,
                                   std::vector<tagDataRun_Entry> runs, uint64_t lastVCN,
                                   bool runsOK)
    : CAttrBase(first),
      m_runs(std::move(runs)),
      m_runsOK(runsOK),
      m_startVCN(0),
      m_lastVCN(lastVCN),
      m_allocatedSize(first.m_allocatedSize),
      m_dataSize(first.m_dataSize) {}

std::unique_ptr<CAttrNonResident> CAttrNonResident::MergeExtents(
    std::vector<CAttrNonResident*> extents) {
  std::stable_sort(extents.begin(), extents.end(), [](auto* a, auto* b) {
    return a->m_startVCN < b->m_startVCN;
  });
  if (extents.empty() || extents[0]->m_startVCN != 0) return nullptr;
  std::vector<tagDataRun_Entry> runs;
  bool runsOK = true;
  uint64_t lastVCN = 0;
  bool first = true;
  for (CAttrNonResident* extent : extents) {
    if (!first && extent->m_startVCN <= lastVCN) continue;  // the same extent listed twice
    if (!first && extent->m_startVCN != lastVCN + 1) break;  // a gap: later clusters are unknown
    runs.insert(runs.end(), extent->m_runs.begin(), extent->m_runs.end());
    runsOK = runsOK && extent->m_runsOK;
    lastVCN = extent->m_lastVCN;
    first = false;
  }
  return std::unique_ptr<CAttrNonResident>(
      new CAttrNonResident(*extents[0], std::move(runs), lastVCN, runsOK));
}

uint64_t CAttrNonResident::GetDataSize(uint64_t* allocatedSize) const {
  if (allocatedSize) *allocatedSize = m_allocatedSize;
  return m_dataSize;
}

uint64_t CAttrNonResident::GetReadableSize() const {
  // Runs are in VCN order and touch, so the last one ends what is mapped.
  if (m_runs.empty()) return 0;
  uint64_t mapped = 0;
  if (__builtin_mul_overflow(m_runs.back().lastVCN + 1, static_cast<uint64_t>(m_clusterSize), &mapped)) return m_dataSize;
  return std::min(m_dataSize, mapped);
}

bool CAttrNonResident::ReadLogicalClusters(int64_t lcn, uint64_t count, uint8_t* buffer) {
  uint64_t bytes = 0;
  if (__builtin_mul_overflow(count, static_cast<uint64_t>(m_clusterSize), &bytes) ||
      bytes > UINT32_MAX) {
    return false;
  }
  if (lcn == -1) {
    std::memset(buffer, 0, bytes);
    return true;
  }
  uint64_t offset = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(lcn), m_clusterSize, &offset)) return false;
  return ReadExactly(*m_device, offset, buffer, static_cast<uint32_t>(bytes));
}

bool CAttrNonResident::ReadVirtualClusters(uint64_t vcn, uint64_t count, uint8_t* buffer,
                                           uint64_t bufferSize, uint64_t* got) {
  *got = 0;
  if (vcn < m_startVCN || vcn > m_lastVCN || count > m_lastVCN - vcn + 1) return false;
  uint64_t needed = 0;
  if (__builtin_mul_overflow(count, static_cast<uint64_t>(m_clusterSize), &needed) ||
      bufferSize < needed) {
    return false;
  }
  uint64_t clustersRead = 0;
  for (const tagDataRun_Entry& run : m_runs) {
    if (count == 0) break;
    if (vcn < run.startVCN || vcn > run.lastVCN) continue;
    const uint64_t n = std::min(count, run.lastVCN - vcn + 1);
    int64_t lcn = -1;
    if (run.lcn != -1 && __builtin_add_overflow(run.lcn, static_cast<int64_t>(vcn - run.startVCN), &lcn)) {
      break;
    }
    if (!ReadLogicalClusters(lcn, n, buffer)) break;
    buffer += n * m_clusterSize;
    clustersRead += n;
    count -= n;
    vcn += n;
  }
  *got = clustersRead * m_clusterSize;
  return true;
}

bool CAttrNonResident::ReadOneCluster(uint64_t vcn) {
  if (m_clusterBuffer.size() != m_clusterSize) m_clusterBuffer.resize(m_clusterSize);
  uint64_t got = 0;
  return ReadVirtualClusters(vcn, 1, m_clusterBuffer.data(), m_clusterBuffer.size(), &got) &&
         got == m_clusterSize;
}

bool CAttrNonResident::ReadData(uint64_t offset, uint8_t* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  if (length == 0) return true;
  if (offset > m_dataSize || m_clusterSize == 0) return false;
  if (length > m_dataSize - offset) length = static_cast<uint32_t>(m_dataSize - offset);
  if (length == 0) return true;

  uint64_t vcn = offset / m_clusterSize;
  const uint32_t headOffset = static_cast<uint32_t>(offset % m_clusterSize);
  uint32_t done = 0;
  if (headOffset != 0) {
    if (!ReadOneCluster(vcn)) return false;
    const uint32_t n = std::min(length, m_clusterSize - headOffset);
    std::memcpy(buffer, m_clusterBuffer.data() + headOffset, n);
    done = n;
    *got = done;
    ++vcn;
  }
  const uint32_t middle = (length - done) / m_clusterSize;
  if (middle != 0) {
    uint64_t n = 0;
    const uint64_t bytes = static_cast<uint64_t>(middle) * m_clusterSize;
    if (!ReadVirtualClusters(vcn, middle, buffer + done, bytes, &n) || n != bytes) return false;
    done += static_cast<uint32_t>(bytes);
    *got = done;
    vcn += middle;
  }
  if (done < length) {
    if (!ReadOneCluster(vcn)) return false;
    std::memcpy(buffer + done, m_clusterBuffer.data(), length - done);
    done = length;
    *got = done;
  }
  return true;
}

uint8_t CFileName::GetFileNameLength() const {
  const uint8_t declared = LE8(m_fileName, kFileNameLength);
  if (m_fileName.size() < kFileNameChars) return 0;
  const size_t room = (m_fileName.size() - kFileNameChars) / 2;
  return static_cast<uint8_t>(std::min<size_t>(declared, room));
}

std::u16string CFileName::GetName() const {
  std::u16string name;
  const uint8_t length = GetFileNameLength();
  for (uint8_t i = 0; i < length; ++i) {
    name += static_cast<char16_t>(LE16(m_fileName, kFileNameChars + 2 * i));
  }
  return name;
}

CAttr_VolName::CAttr_VolName(ByteSpan attr, CFileRecord* owner) : CAttrResident(attr, owner) {
  std::u16string name;
  for (size_t i = 0; i + 1 < m_value.size(); i += 2) name += static_cast<char16_t>(LE16(m_value, i));
  m_name = Utf16ToUtf8(name.data(), name.size());
}

template <class Base>
CAttr_AttrList<Base>::CAttr_AttrList(ByteSpan attr, CFileRecord* owner) : Base(attr, owner) {
  ExpandAttrList();
}

template <class Base>
void CAttr_AttrList<Base>::ExpandAttrList() {
  CFileRecord* owner = this->m_owner;
  if (owner->GetRecordNumber() == kNoRecord) return;
  uint8_t entry[kListEntrySize];
  uint64_t offset = 0;
  for (uint32_t index = 0; index < kMaxListEntries; ++index) {
    uint32_t got = 0;
    if (!this->ReadData(offset, entry, kListEntrySize, &got) || got != kListEntrySize) return;
    const ByteSpan e(entry, kListEntrySize);
    const uint32_t type = LE32(e, kListEntryType);
    const uint16_t length = LE16(e, kListEntryLength);
    if (length < kListEntrySize) return;  // a zero length would hold the walk on this entry
    if (type < 0x10) return;
    const uint32_t k = type / 0x10 - 1;
    if (k > 15) return;
    const uint64_t record = static_cast<uint64_t>(LE32(e, kListEntryRecordLow)) |
                            (static_cast<uint64_t>(LE16(e, kListEntryRecordHigh)) << 32);
    // Extension records never hold attribute lists of their own; not following
    // one keeps a hostile list from expanding without end.
    const bool selected = (owner->GetAttrMask() >> k) & 1;
    if (record != owner->GetRecordNumber() && k != 1 && selected) {
      auto extension = std::make_unique<CFileRecord>(owner->GetVolume());
      extension->SetAttrMask(1u << k);
      if (!extension->ReadRecord(record)) return;
      extension->ParseAttrs();
      extension->GetAttrList(k).MoveAllTo(owner->GetAttrList(k));
      m_extensionRecords.InsertTail(std::move(extension));
    }
    offset += length;
  }
}

template class CAttr_AttrList<CAttrResident>;
template class CAttr_AttrList<CAttrNonResident>;

namespace {
template <class T>
std::unique_ptr<CAttrBase> MakeResident(ByteSpan attr, CFileRecord* owner, DecodeError* error) {
  DecodeError fault = CAttrResident::CheckHeader(attr);
  if (fault.empty()) return std::make_unique<T>(attr, owner);
  if (error) *error = std::move(fault);
  return nullptr;
}
template <class T>
std::unique_ptr<CAttrBase> MakeNonResident(ByteSpan attr, CFileRecord* owner, DecodeError* error) {
  DecodeError fault = CAttrNonResident::CheckHeader(attr);
  if (fault.empty()) return std::make_unique<T>(attr, owner);
  if (error) *error = std::move(fault);
  return nullptr;
}
}  // namespace

std::unique_ptr<CAttrBase> CreateAttribute(ByteSpan attr, CFileRecord* owner, DecodeError* error) {
  const bool nonResident = LE8(attr, 0x08) != 0;
  switch (LE32(attr, 0x00)) {
    case kAttrStandardInformation:
      return MakeResident<CAttr_StdInfo>(attr, owner, error);
    case kAttrAttributeList:
      return nonResident ? MakeNonResident<CAttr_AttrList<CAttrNonResident>>(attr, owner, error)
                         : MakeResident<CAttr_AttrList<CAttrResident>>(attr, owner, error);
    case kAttrFileName:
      return MakeResident<CAttr_FileName>(attr, owner, error);
    case kAttrVolumeName:
      return MakeResident<CAttr_VolName>(attr, owner, error);
    case kAttrVolumeInformation:
      return MakeResident<CAttr_VolInfo>(attr, owner, error);
    case kAttrData:
      return nonResident ? MakeNonResident<CAttr_Data<CAttrNonResident>>(attr, owner, error)
                         : MakeResident<CAttr_Data<CAttrResident>>(attr, owner, error);
    default:
      return nullptr;
  }
}
