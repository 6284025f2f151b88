#include "fat32/Entry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "volume/FileWriter.h"
#include "platform/Text.h"
#include "volume/FAT32VolumeAccess.h"

namespace {
// Where the 13 characters of a long-name entry lie: 5 at 0x01, 6 at 0x0E, 2 at 0x1C.
constexpr size_t kLongNamePieces[][2] = {{0x01, 5}, {0x0E, 6}, {0x1C, 2}};
constexpr uint32_t kChunkSectors = 128;
}  // namespace

std::string FatTimeText(ByteSpan e) {
  const uint16_t time = LE16(e, fatentry::kWriteTime);
  const uint16_t date = LE16(e, fatentry::kWriteDate);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d  %02d:%02d", (date >> 9) + 1980, (date >> 5) & 0x0F,
                date & 0x1F, time >> 11, (time >> 5) & 0x3F);
  return text;
}

CEntry::CEntry(ByteSpan entrySet, uint16_t longNameCount, bool inDeletedFolder)
    : m_entrySet(entrySet), m_longNameCount(longNameCount), m_inDeletedFolder(inDeletedFolder) {
  const size_t shortOffset = static_cast<size_t>(longNameCount) * kDirEntrySize;
  if (Fits(entrySet, shortOffset, kDirEntrySize)) {
    std::memcpy(m_shortEntry.data(), entrySet.data() + shortOffset, kDirEntrySize);
  }
}

std::string CEntry::GetShortName() const {
  // Name and extension lose their padding; Windows NT keeps names typed in
  // lower case as upper-case short names with a case bit for each part.
  const uint8_t caseBits = m_shortEntry[fatentry::kReserved];
  auto part = [&](size_t offset, size_t length, bool lower) {
    std::string text(reinterpret_cast<const char*>(m_shortEntry.data()) + offset, length);
    text.erase(text.find_last_not_of(' ') + 1);
    text.resize(std::find(text.begin(), text.end(), '\0') - text.begin());
    if (lower) {
      for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
  };
  std::string name = part(fatentry::kName, 8, caseBits & kCaseLowerName);
  const std::string extension = part(fatentry::kExtension, 3, caseBits & kCaseLowerExtension);
  if (!name.empty()) {
    // The deleted marker stands where the first character was; 0x05 stands
    // for a first character 0xE5, which would read as the marker.
    const uint8_t first = m_shortEntry[0];
    if (first == kDeletedMarker) name[0] = '#';
    if (first == kEscapedE5) name[0] = static_cast<char>(0xE5);
  }
  if (!extension.empty()) name += "." + extension;
  return AnsiToUtf8(name.data(), name.size());
}

std::optional<std::string> CEntry::GetLongName() const {
  if (m_longNameCount == 0) return std::nullopt;
  std::u16string name(static_cast<size_t>(m_longNameCount) * 13, u'\0');
  for (uint16_t k = 0; k < m_longNameCount; ++k) {
    const ByteSpan entry = m_entrySet.subspan(static_cast<size_t>(k) * kDirEntrySize, kDirEntrySize);
    size_t position = static_cast<size_t>(m_longNameCount - 1 - k) * 13;
    for (const auto& [offset, count] : kLongNamePieces) {
      for (size_t c = 0; c < count; ++c) name[position++] = static_cast<char16_t>(LE16(entry, offset + 2 * c));
    }
  }
  name.resize(std::find(name.begin(), name.end(), u'\0') - name.begin());
  return Utf16ToUtf8(name.data(), name.size());
}

std::string CEntry::GetName() const {
  std::optional<std::string> longName = GetLongName();
  return longName && !longName->empty() ? *longName : GetShortName();
}

CFileEntry::CFileEntry(ByteSpan entrySet, uint16_t longNameCount, bool inDeletedFolder, CVolumeAccess* access)
    : CEntry(entrySet, longNameCount, inDeletedFolder), m_access(access) {}

uint64_t CFileEntry::FirstDataSector() const {
  if (m_access == nullptr || GetFileSize() == 0) return 0;
  const uint32_t first = GetFirstCluster();
  return IsValidFatCluster(first, m_access->GetClusterCount()) ? m_access->ClusterToSector(first) : 0;
}

uint32_t CFileEntry::GetFirstCluster() const {
  const uint32_t both = EntryFirstCluster(ShortEntry());
  if (m_access == nullptr) return both;
  const uint64_t count = m_access->GetClusterCount();
  const uint32_t low = LE16(ShortEntry(), fatentry::kClusterLow);
  return !IsValidFatCluster(both, count) && IsValidFatCluster(low, count) ? low : both;
}

// A deleted file's chain is gone: its content is taken from its first cluster
// and the free clusters after it, passing over clusters in use, which belong
// to files written since, as many as its size needs.
bool CFileEntry::PlanClusters(std::string* error) {
  if (m_planned) {
    // Asked again (the condition asked first): the same answer, with its reason.
    if (error && !m_planError.empty()) *error = m_planError;
    return m_planError.empty();
  }
  m_planned = true;
  const uint64_t clusterSize = m_access ? m_access->GetClusterSize() : 0;
  const uint64_t count = m_access ? m_access->GetClusterCount() : 0;
  const uint64_t first = GetFirstCluster();
  const uint64_t size = GetFileSize();
  if (size == 0) return true;
  if (clusterSize == 0 || !IsValidFatCluster(first, count)) {
    m_planError = "the entry names no cluster to read (first cluster " + std::to_string(first) + ")";
  } else if (m_access->IsClusterUsed(first)) {
    m_planError = "its first cluster, " + std::to_string(first) + ", now belongs to another file";
    m_clustersTaken = true;
  } else if (IsContiguous()) {
    const uint64_t needed = (size + clusterSize - 1) / clusterSize;
    for (uint64_t k = 0; k < needed && m_planError.empty(); ++k) {
      if (!IsValidFatCluster(first + k, count)) {
        m_planError = "it runs past the end of the volume";
      } else if (m_access->IsClusterUsed(first + k)) {
        m_planError = "its cluster " + std::to_string(first + k) + " now belongs to another file";
        m_clustersTaken = true;
      }
    }
    if (m_planError.empty()) m_runs.push_back({first, 0, needed});
  } else {
    uint64_t needed = (size + clusterSize - 1) / clusterSize;
    uint64_t index = 0;
    for (uint64_t c = first; needed > 0 && IsValidFatCluster(c, count); ++c) {
      if (m_access->IsClusterUsed(c)) continue;
      if (!m_runs.empty() && m_runs.back().firstCluster + m_runs.back().count == c) {
        ++m_runs.back().count;
      } else {
        m_runs.push_back({c, index, 1});
      }
      ++index;
      --needed;
    }
    if (needed > 0) {
      m_planError = "the volume has too few free clusters after the first one to hold its size";
      m_clustersTaken = true;
    }
  }
  if (!m_planError.empty()) m_runs.clear();
  if (error && !m_planError.empty()) *error = m_planError;
  return m_planError.empty();
}

bool CFileEntry::ReadContent(uint64_t offset, uint32_t length, uint8_t* buffer, std::string* error) {
  if (!PlanClusters(error)) return false;
  const uint64_t clusterSize = m_access->GetClusterSize();
  const uint32_t sectorSize = m_access->GetSectorSize();
  std::vector<uint8_t> sectors;
  while (length > 0) {
    const uint64_t index = offset / clusterSize;
    const ClusterRun* run = nullptr;
    for (const ClusterRun& r : m_runs) {
      if (index >= r.fileIndex && index - r.fileIndex < r.count) run = &r;
    }
    if (run == nullptr || sectorSize == 0) return false;
    const uint64_t within = offset % clusterSize;
    const uint64_t left = (run->count - (index - run->fileIndex)) * clusterSize - within;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length, left));
    const uint64_t base = m_access->ClusterToSector(run->firstCluster + (index - run->fileIndex));
    const uint64_t firstSector = base + within / sectorSize;
    const uint64_t lastSector = base + (within + n - 1) / sectorSize;
    sectors.resize((lastSector - firstSector + 1) * sectorSize);
    if (!m_access->ReadSectors(firstSector, lastSector, sectors.data())) {
      if (error) *error = "read error at sector " + std::to_string(firstSector);
      return false;
    }
    std::memcpy(buffer, sectors.data() + within % sectorSize, n);
    // What lies past the valid length was never written: zeros, as the file reads.
    const uint64_t valid = ValidLength();
    if (offset + n > valid) {
      const uint64_t from = offset >= valid ? 0 : valid - offset;
      std::memset(buffer + from, 0, n - from);
    }
    offset += n;
    buffer += n;
    length -= n;
  }
  return true;
}

const uint8_t* CFileEntry::LoadContent(uint32_t* length) {
  const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(GetFileSize(), kPreviewCap));
  m_content.assign(size, 0);
  if (size > 0 && !ReadContent(0, size, m_content.data(), nullptr)) return nullptr;
  *length = size;
  return m_content.data();
}

bool CFileEntry::OpenContent(ContentSource* source, std::string* error) {
  if (!PlanClusters(error)) return false;
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 512;
  source->length = GetFileSize();
  source->chunkSize = kChunkSectors * sectorSize;
  source->read = [this](uint64_t offset, uint8_t* buffer, uint32_t n) {
    return ReadContent(offset, n, buffer, &m_readError);
  };
  return true;
}

bool CFileEntry::RecoverTo(const std::string& path, std::string* error, WriteFault* fault) {
  m_readError.clear();
  // Exactly the file's size, cluster by cluster as planned.
  const bool written = CDelFile::RecoverTo(path, error, fault);
  if (!written && error && !m_readError.empty()) *error += " (" + m_readError + ")";
  return written;
}

ContentLayout CFileEntry::Layout() {
  ContentLayout layout;
  const uint64_t clusterSize = m_access ? m_access->GetClusterSize() : 0;
  const uint64_t first = GetFirstCluster();
  const uint64_t size = GetFileSize();
  if (size == 0 || clusterSize == 0) return layout;
  const uint64_t needed = size / clusterSize + (size % clusterSize != 0);
  const uint64_t count = m_access->GetClusterCount();
  if (!IsValidFatCluster(first, count) || !IsValidFatCluster(first + needed - 1, count)) {
    layout.why = "clusters " + std::to_string(first) + " to " + std::to_string(first + needed - 1) +
                 " are not all on the volume";
    return layout;
  }
  layout.place = ContentPlace::Clusters;
  layout.runs.push_back({0, m_access->SectorToVolumeOffset(m_access->ClusterToSector(first)), size, first, needed});
  return layout;
}
