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
  char name[12];
  std::memcpy(name, m_shortEntry.data(), 8);
  name[8] = '.';
  std::memcpy(name + 9, m_shortEntry.data() + 8, 3);
  // The deleted marker stands where the first character was.
  if (static_cast<uint8_t>(name[0]) == kDeletedMarker) name[0] = '#';
  const size_t length = std::find(name, name + 12, '\0') - name;
  return AnsiToUtf8(name, length);
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

bool CFileEntry::ReadContent(uint64_t offset, uint32_t length, uint8_t* buffer) {
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 0;
  const uint32_t cluster = GetFirstCluster();
  if (sectorSize == 0 || !IsValidFatCluster(cluster, m_access->GetClusterCount())) return false;
  const uint64_t firstSector = m_access->ClusterToSector(cluster) + offset / sectorSize;
  const uint64_t lastSector = firstSector + (static_cast<uint64_t>(length) - 1) / sectorSize;
  std::vector<uint8_t> sectors((lastSector - firstSector + 1) * sectorSize);
  if (!m_access->ReadSectors(firstSector, lastSector, sectors.data())) return false;
  std::memcpy(buffer, sectors.data(), length);
  return true;
}

const uint8_t* CFileEntry::LoadContent(uint32_t* length) {
  // No file is larger than its volume, whatever its entry says.
  const uint64_t volumeBytes = m_access ? m_access->GetClusterCount() * m_access->GetClusterSize() : 0;
  const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>({GetFileSize(), kPreviewCap, volumeBytes}));
  m_content.assign(size, 0);
  if (size > 0 && !ReadContent(0, size, m_content.data())) return nullptr;
  *length = size;
  return m_content.data();
}

bool CFileEntry::RecoverTo(const std::string& path, std::string* error) {
  const uint32_t size = GetFileSize();
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 0;
  if (size > 0 && (sectorSize == 0 || GetFirstCluster() < 2)) {
    if (error) *error = "the entry names no cluster to read";
    return false;
  }
  // Exactly the file's size, read on from its first cluster in whole sectors.
  return WriteFileContent(path, size, kChunkSectors * sectorSize,
                          [&](uint64_t offset, uint8_t* buffer, uint32_t n) { return ReadContent(offset, n, buffer); },
                          error);
}
