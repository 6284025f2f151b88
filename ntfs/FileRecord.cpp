#include "ntfs/FileRecord.h"

#include "ntfs/NTFSVolume.h"
#include "platform/Time.h"

namespace {
// FILE record header offsets.
constexpr size_t kSignature = 0x00;
constexpr size_t kUpdateSequenceOffset = 0x04;
constexpr size_t kUpdateSequenceCount = 0x06;
// The update sequence protects the last two bytes of every 512, whatever the sector size.
constexpr uint32_t kUpdateStride = 512;
constexpr size_t kFirstAttributeOffset = 0x14;
constexpr size_t kFlags = 0x16;
constexpr uint32_t kFileSignature = 0x454C4946;  // "FILE"
// Attribute header offsets read while walking.
constexpr size_t kAttrType = 0x00;
constexpr size_t kAttrLength = 0x04;
constexpr size_t kAttrHeaderMin = 0x10;
}  // namespace

CFileRecord::CFileRecord(CNTFSVolume* volume) : m_volume(volume) {}

CFileRecord::CFileRecord(const CFileRecord& other)
    : m_volume(other.m_volume), m_recordNumber(other.m_recordNumber), m_attrMask(other.m_attrMask) {}

CFileRecord::~CFileRecord() { ClearAttrLists(); }

void CFileRecord::ClearAttrLists() {
  m_mergedData.reset();
  for (auto& list : m_attrLists) list.RemoveAll();
}

bool CFileRecord::ReadRawRecord(uint64_t n, RecordSource source, std::vector<uint8_t>* out) {
  const uint32_t size = m_volume->GetFileRecordSize();
  if (size == 0) return false;
  out->resize(size);
  if (source != RecordSource::Mirror && n >= 16 && m_volume->GetMFTDataAttr() != nullptr) {
    return source == RecordSource::Device ? m_volume->ReadMFTRecordDirect(n, out->data())
                                          : m_volume->ReadMFTRecord(n, out->data());
  }
  // The first records lie at the start of the MFT, and of its mirror.
  const uint64_t base = source == RecordSource::Mirror ? m_volume->GetMFTMirrOffset() : m_volume->GetMFTOffset();
  uint64_t position = 0;
  if (__builtin_mul_overflow(n, static_cast<uint64_t>(size), &position) ||
      __builtin_add_overflow(position, base, &position)) {
    return false;
  }
  return ReadExactly(*m_volume->GetDeviceHandle(), position, out->data(), size);
}

bool CFileRecord::Reject(size_t offset, const char* field, std::string found, std::string expected) {
  m_lastError = DecodeError{"FILE record " + std::to_string(m_recordNumber), offset, field, std::move(found),
                            std::move(expected)};
  return false;
}

bool CFileRecord::ApplyFixups(std::vector<uint8_t>& bytes) {
  const ByteSpan s(bytes);
  const uint32_t strides = static_cast<uint32_t>(bytes.size()) / kUpdateStride;
  const uint16_t count = LE16(s, kUpdateSequenceCount);
  if (count != strides + 1) {
    return Reject(kUpdateSequenceCount, "update sequence count", HexValue(count),
                  HexValue(strides + 1) + " for a record of " + HexValue(s.size()) + " bytes");
  }
  const uint16_t usaOffset = LE16(s, kUpdateSequenceOffset);
  if (!Fits(s, usaOffset, 2 * static_cast<size_t>(count))) {
    return Reject(kUpdateSequenceOffset, "update sequence offset", HexValue(usaOffset),
                  "room for " + std::to_string(count) + " entries in " + HexValue(s.size()) + " bytes");
  }
  const uint16_t usn = LE16(s, usaOffset);
  for (uint32_t i = 0; i < strides; ++i) {
    const size_t end = static_cast<size_t>(i + 1) * kUpdateStride - 2;
    if (LE16(s, end) != usn) return Reject(end, "update sequence number", HexValue(LE16(s, end)), HexValue(usn));
    const size_t saved = usaOffset + 2 + 2 * static_cast<size_t>(i);
    bytes[end] = bytes[saved];
    bytes[end + 1] = bytes[saved + 1];
  }
  return true;
}

bool CFileRecord::ReadRecord(uint64_t n, bool fresh) {
  return ReadFrom(n, fresh ? RecordSource::Device : RecordSource::Window);
}

bool CFileRecord::ReadMirrorRecord(uint64_t n) { return ReadFrom(n, RecordSource::Mirror); }

bool CFileRecord::ReadFrom(uint64_t n, RecordSource source) {
  ClearAttrLists();
  m_lastError = {};
  // The buffer is reused from record to record; clearing keeps its capacity.
  if (!ReadRawRecord(n, source, &m_buffer)) {
    m_buffer.clear();
    m_recordNumber = n;
    Reject(0, "record", "no bytes",
           source == RecordSource::Mirror ? "its copy in $MFTMirr" : "a record the MFT's runs map and the device holds");
    m_recordNumber = kNoRecord;
    return false;
  }
  return TakeRecord(n);
}

bool CFileRecord::TakeRecord(uint64_t n) {
  m_recordNumber = n;
  if (LE32(m_buffer, kSignature) != kFileSignature) {
    // A record never written holds zeros: unused, not damaged.
    if (LE32(m_buffer, kSignature) != 0) Reject(kSignature, "signature", HexValue(LE32(m_buffer, kSignature)), "\"FILE\" (0x454c4946)");
    m_buffer.clear();
    return false;
  }
  if (!ApplyFixups(m_buffer)) {
    m_buffer.clear();
    return false;
  }
  return true;
}

bool CFileRecord::ParseAttr(ByteSpan attr, size_t offset) {
  const uint32_t k = LE32(attr, kAttrType) / 0x10 - 1;
  DecodeError fault;
  std::unique_ptr<CAttrBase> object = CreateAttribute(attr, this, &fault);
  if (!object) {
    if (fault.empty()) return false;
    return Reject(offset + fault.offset, fault.structure.c_str(), fault.found, fault.expected);
  }
  return m_attrLists[k].InsertTail(std::move(object));
}

bool CFileRecord::ParseAttrs() {
  ClearAttrLists();
  m_lastError = {};
  const ByteSpan record(m_buffer);
  size_t offset = LE16(record, kFirstAttributeOffset);
  while (Fits(record, offset, kAttrHeaderMin)) {
    const uint32_t type = LE32(record, offset + kAttrType);
    if (type == kAttrEnd) break;
    const uint32_t length = LE32(record, offset + kAttrLength);
    // A zero length would hold the walk on this attribute; one past the record ends it too.
    if (length == 0 || !Fits(record, offset, length)) {
      Reject(offset + kAttrLength, "attribute length", HexValue(length),
             "1 to the record's end at " + HexValue(record.size()));
      return true;
    }
    const uint32_t k = type / 0x10 - 1;
    if (type % 0x10 == 0 && type >= 0x10 && type <= 0x100 && ((m_attrMask >> k) & 1)) {
      if (!ParseAttr(record.subspan(offset, length), offset)) return false;
      CSList<CAttrBase>& stdInfo = m_attrLists[0];
      if (!stdInfo.IsEmpty()) {
        const auto* info = static_cast<CAttr_StdInfo*>(stdInfo.At(0));
        if (info->GetFileAttributes() & (kFileCompressed | kFileEncrypted)) {
          return Reject(offset, "file attributes", HexValue(info->GetFileAttributes()),
                        "neither compressed (0x800) nor encrypted (0x4000), which cannot be read");
        }
      }
    }
    offset += length;
  }
  return true;
}

uint16_t CFileRecord::GetRecordFlags() const { return LE16(m_buffer, kFlags); }

CAttr_FileName* CFileRecord::FirstFileName() const {
  const CSList<CAttrBase>& names = m_attrLists[2];
  return names.IsEmpty() ? nullptr : static_cast<CAttr_FileName*>(names.At(0));
}

int CFileRecord::GetFileName(std::u16string* name) const {
  for (const auto& attr : m_attrLists[2]) {
    const auto* fileName = static_cast<const CAttr_FileName*>(attr.get());
    if (fileName->GetFileNameLength() == 0 || fileName->GetNameType() == 2) continue;
    *name = fileName->GetName();
    return static_cast<int>(name->size());
  }
  return 0;
}

uint64_t CFileRecord::GetParentRef() const {
  const CAttr_FileName* name = FirstFileName();
  return name ? name->GetParentRef() : 0;
}

uint64_t CFileRecord::GetFileSize() const {
  const CAttr_FileName* name = FirstFileName();
  return name ? name->GetRealSize() : 0;
}

uint64_t CFileRecord::GetFileTimeUtc() const {
  const CSList<CAttrBase>& stdInfo = m_attrLists[0];
  if (stdInfo.IsEmpty()) return 0;
  return static_cast<const CAttr_StdInfo*>(stdInfo.At(0))->GetModificationTime();
}

uint64_t CFileRecord::GetFileTime() const {
  const uint64_t utc = GetFileTimeUtc();
  uint64_t local = 0;
  return FileTimeToLocalFileTime(utc, &local) ? local : utc;
}

CAttrBase* CFileRecord::FindUnnamedData() {
  if (m_mergedData) return m_mergedData.get();
  CAttrBase* first = nullptr;
  std::vector<CAttrNonResident*> extents;
  for (const auto& attr : m_attrLists[7]) {
    if (attr->GetNameLength() != 0) continue;
    if (!first) first = attr.get();
    if (attr->IsNonResident()) extents.push_back(static_cast<CAttrNonResident*>(attr.get()));
  }
  // A stream whose runs go on in further extents is read as one.
  if (extents.size() > 1) {
    m_mergedData = CAttrNonResident::MergeExtents(extents);
    if (m_mergedData) return m_mergedData.get();
  }
  return first;
}
