#include "filetypes/ZipFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "filetypes/ZipRecords.h"

namespace {
using namespace ziprecord;

constexpr char kContentTypes[] = "[Content_Types].xml";
// A member whose size follows its data is searched for this far.
constexpr uint64_t kMaxMemberData = 1ull << 32;

uint64_t LocalRecordSize(ByteSpan h) {
  return kLocalHeaderSize + static_cast<uint64_t>(LE16(h, kLocalNameLength)) + LE16(h, kLocalExtraLength) +
         LE32(h, kLocalCompressedSize);
}

bool Is(ByteSpan name, const char* text) {
  return name.size() == std::strlen(text) && std::memcmp(name.data(), text, name.size()) == 0;
}

bool StartsWith(ByteSpan name, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return name.size() >= n && std::memcmp(name.data(), prefix, n) == 0;
}
}  // namespace

std::unique_ptr<CBaseFile> CZipFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                               CVolumeAccess* access) {
  if (!Fits(data, 0, kLocalHeaderSize) || LE32(data, 0) != kLocalHeader) return nullptr;
  // The record after the first member must be one a ZIP archive can hold there.
  const uint64_t next = LocalRecordSize(data);
  if (next < bytesPerSector) {
    if (!Fits(data, next, 4)) return nullptr;
    const uint32_t signature = LE32(data, next);
    if (signature != kLocalHeader && signature != kCentralHeader && signature != kDataDescriptor) return nullptr;
  }
  std::unique_ptr<CZipFile> file(new CZipFile(sector, access));
  file->ExamineMimetype(data);
  return file;
}

void CZipFile::ExamineMimetype(ByteSpan data) {
  static constexpr struct {
    const char* mimetype;
    int32_t type;
  } kKinds[] = {
      {"application/vnd.oasis.opendocument.text", kTypeOdt},
      {"application/vnd.oasis.opendocument.spreadsheet", kTypeOds},
      {"application/vnd.oasis.opendocument.presentation", kTypeOdp},
      {"application/epub+zip", kTypeEpub},
  };
  constexpr char kName[] = "mimetype";
  const uint16_t nameLength = LE16(data, kLocalNameLength);
  const uint64_t body = kLocalHeaderSize + static_cast<uint64_t>(nameLength) + LE16(data, kLocalExtraLength);
  const uint32_t size = LE32(data, kLocalCompressedSize);
  if (nameLength != sizeof kName - 1 || LE16(data, kLocalMethod) != 0 || !Fits(data, body, size)) return;
  if (std::memcmp(data.data() + kLocalHeaderSize, kName, nameLength) != 0) return;
  const std::string_view text(reinterpret_cast<const char*>(data.data() + body), size);
  for (const auto& kind : kKinds) {
    if (text == kind.mimetype) {
      typeCode = kind.type;
      m_mimetype = true;
    }
  }
}

void CZipFile::ExamineName(ByteSpan name) {
  if (m_mimetype) return;
  // A Java archive has its manifest; an Android package its own, over that.
  if (Is(name, "AndroidManifest.xml")) typeCode = kTypeApk;
  if (Is(name, "META-INF/MANIFEST.MF") && typeCode == kTypeZip) typeCode = kTypeJar;
  if (Is(name, kContentTypes)) {
    m_officePackage = true;
    typeCode = kTypeDocx;
    return;
  }
  if (!m_officePackage) return;
  // The package's own folders decide its kind; other parts leave it as it was.
  if (StartsWith(name, "word/")) typeCode = kTypeDocx;
  if (StartsWith(name, "xl/")) typeCode = kTypeXlsx;
  if (StartsWith(name, "ppt/")) typeCode = kTypePptx;
}

bool CZipFile::StepRecord(const SectorView& view, uint64_t base, int32_t* result) {
  const int64_t rel = static_cast<int64_t>(m_nextRecord) - static_cast<int64_t>(base);
  uint8_t header[kCentralHeaderSize];
  if (!view.Read(rel, 4, header)) return false;
  const uint32_t signature = LE32(ByteSpan(header, 4), 0);
  const ByteSpan h(header, sizeof header);
  switch (signature) {
    case kLocalHeader:
      if (!view.Read(rel, kLocalHeaderSize, header)) return false;
      if ((LE16(h, kLocalFlags) & kFlagDescriptor) && LE32(h, kLocalCompressedSize) == 0) {
        m_memberData = m_searchFrom = m_nextRecord + LocalRecordSize(h);
        return true;
      }
      m_nextRecord += LocalRecordSize(h);
      return true;
    case kDataDescriptor:
      m_nextRecord += kDataDescriptorSize;
      return true;
    case kCentralHeader: {
      if (!view.Read(rel, kCentralHeaderSize, header)) return false;
      const uint16_t nameLength = LE16(h, kCentralNameLength);
      std::vector<uint8_t> name(nameLength);
      if (!view.Read(rel + kCentralHeaderSize, nameLength, name.data())) return false;
      ExamineName(name);
      m_nextRecord += kCentralHeaderSize + static_cast<uint64_t>(nameLength) + LE16(h, kCentralExtraLength) +
                      LE16(h, kCentralCommentLength);
      return true;
    }
    case kEndOfDirectory:
      if (!view.Read(rel, kEndSize, header)) return false;
      m_archiveEnd = m_nextRecord + kEndSize + LE16(h, kEndCommentLength);
      return true;
    default:
      *result = -1;
      return true;
  }
}

bool CZipFile::FindDescriptor(const SectorView& view, uint64_t base) {
  constexpr std::string_view kSignature("PK\x07\x08", 4);
  int64_t found = 0;
  while (view.Find(static_cast<int64_t>(m_searchFrom) - static_cast<int64_t>(base), kSignature, &found)) {
    const uint64_t at = base + static_cast<uint64_t>(found);
    uint8_t d[kZip64DataDescriptorSize];
    if (!view.Read(found, kDataDescriptorSize, d)) break;
    const ByteSpan descriptor(d, sizeof d);
    const uint64_t length = at - m_memberData;
    if (LE32(descriptor, kDataDescriptorCompressedSize) == length) {
      m_nextRecord = at + kDataDescriptorSize;
      m_memberData = 0;
      return true;
    }
    if (view.Read(found, kZip64DataDescriptorSize, d) && LE64(descriptor, kDataDescriptorCompressedSize) == length) {
      m_nextRecord = at + kZip64DataDescriptorSize;
      m_memberData = 0;
      return true;
    }
    m_searchFrom = at + 1;
  }
  // Not in memory yet: the next search starts where a signature could still straddle.
  const uint64_t memoryEnd = base + view.From(0).size();
  m_searchFrom = std::max(m_searchFrom, memoryEnd > kDataDescriptorSize ? memoryEnd - kDataDescriptorSize : 0);
  return false;
}

int32_t CZipFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector, uint64_t) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  // Records that begin up to the sector end; one whose header straddles the
  // end of the run is read when the next run arrives.
  while (m_archiveEnd == 0 && m_nextRecord <= end) {
    if (m_memberData != 0) {
      if (FindDescriptor(view, base)) continue;
      return m_searchFrom - m_memberData > kMaxMemberData ? -1 : 0;
    }
    int32_t result = 0;
    if (!StepRecord(view, base, &result)) return 0;
    if (result == -1) return Cut(m_nextRecord, bytesPerSector);
  }
  // The end record's comment may run into later sectors: the archive ends
  // with it, in the sector holding its last byte.
  if (m_archiveEnd != 0 && m_archiveEnd <= end) {
    EndAt(m_archiveEnd, bytesPerSector);
    return typeCode;
  }
  return 0;
}

int32_t CZipFile::Cut(uint64_t end, uint32_t bytesPerSector) {
  if (m_nextRecord <= kLocalHeaderSize || m_memberData != 0 || m_archiveEnd != 0) return -1;
  m_cut = true;
  EndAt(end, bytesPerSector);
  return typeCode;
}

int32_t CZipFile::EndWhereCut(uint64_t sector, uint32_t bytesPerSector) {
  return Cut(std::min(m_nextRecord, SectorBase(sector, bytesPerSector)), bytesPerSector);
}
