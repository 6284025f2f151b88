#include "fat32/ExFat.h"

#include <cstdio>

#include "platform/Text.h"
#include "volume/ExFatVolumeAccess.h"

namespace {

// A FAT directory holds at most 256 MiB of entries; a deleted one is read no further.
constexpr uint64_t kMaxDirectoryBytes = 256u << 20;
constexpr uint8_t kMaxSecondaryCount = 18;  // a stream and 17 name entries: 255 characters
constexpr size_t kMaxNameLength = 255;

uint16_t SetChecksum(ByteSpan set, bool restoreInUse) {
  uint16_t sum = 0;
  for (size_t i = 0; i < set.size(); ++i) {
    if (i == exfat::kSetChecksum || i == exfat::kSetChecksum + 1) continue;
    uint8_t byte = set[i];
    if (restoreInUse && i % exfat::kEntrySize == 0) byte |= exfat::kInUse;
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  return sum;
}

DecodeError Fault(size_t offset, const char* field, uint64_t found, std::string expected) {
  return DecodeError{"exFAT entry set", offset, field, HexValue(found), std::move(expected)};
}

}  // namespace

bool DecodeExFatEntrySet(ByteSpan directory, size_t offset, ExFatEntrySet* set, size_t* entries, DecodeError* fault) {
  *entries = 1;
  const ByteSpan file = directory.subspan(offset, std::min(exfat::kEntrySize, directory.size() - offset));
  const uint8_t type = LE8(file, 0);
  set->deleted = (type & exfat::kInUse) == 0;
  const uint8_t secondaries = LE8(file, exfat::kSecondaryCount);
  if (secondaries < 2 || secondaries > kMaxSecondaryCount) {
    *fault = Fault(offset + exfat::kSecondaryCount, "secondary count", secondaries, "2 to 18");
    return false;
  }
  const size_t length = (secondaries + 1u) * exfat::kEntrySize;
  if (!Fits(directory, offset, length)) {
    *fault = Fault(offset, "set length", length, "within the directory");
    return false;
  }
  const ByteSpan bytes = directory.subspan(offset, length);
  const ByteSpan stream = bytes.subspan(exfat::kEntrySize, exfat::kEntrySize);
  const uint8_t streamType = LE8(stream, 0) | (set->deleted ? exfat::kInUse : 0);
  if (streamType != exfat::kStreamEntry) {
    *fault = Fault(offset + exfat::kEntrySize, "stream entry type", LE8(stream, 0), "0xc0, or 0x40 when deleted");
    return false;
  }
  // Deleting clears the in-use bits, which the checksum covers: a deleted set
  // must check out with them restored, a live one as it stands.
  const uint16_t stored = LE16(bytes, exfat::kSetChecksum);
  const uint16_t computed = SetChecksum(bytes, set->deleted);
  if (stored != computed) {
    *fault = Fault(offset + exfat::kSetChecksum, "set checksum", stored, HexValue(computed));
    return false;
  }
  const uint8_t nameLength = LE8(stream, exfat::kNameLength);
  const size_t nameEntries = (nameLength + 14u) / 15u;
  if (nameLength == 0 || nameEntries + 1 > secondaries) {
    *fault = Fault(offset + exfat::kEntrySize + exfat::kNameLength, "name length", nameLength,
                   "1 to " + std::to_string((secondaries - 1u) * 15u));
    return false;
  }
  std::u16string name;
  for (size_t k = 0; k < nameEntries; ++k) {
    const ByteSpan entry = bytes.subspan((2 + k) * exfat::kEntrySize, exfat::kEntrySize);
    if ((LE8(entry, 0) | exfat::kInUse) != exfat::kNameEntry) {
      *fault = Fault(offset + (2 + k) * exfat::kEntrySize, "name entry type", LE8(entry, 0), "0xc1, or 0x41 when deleted");
      return false;
    }
    for (size_t c = 0; c < 15 && name.size() < std::min<size_t>(nameLength, kMaxNameLength); ++c) {
      name.push_back(static_cast<char16_t>(LE16(entry, exfat::kNameCharacters + 2 * c)));
    }
  }
  set->bytes.assign(bytes.begin(), bytes.end());
  set->attributes = LE16(bytes, exfat::kAttributes);
  set->modified = LE32(bytes, exfat::kModified);
  set->flags = LE8(stream, exfat::kFlags);
  set->firstCluster = LE32(stream, exfat::kFirstCluster);
  set->validLength = LE64(stream, exfat::kValidDataLength);
  set->dataLength = LE64(stream, exfat::kDataLength);
  set->name = Utf16ToUtf8(name.data(), name.size());
  *entries = secondaries + 1u;
  return true;
}

std::string ExFatTimeText(uint32_t t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u  %02u:%02u", (t >> 25) + 1980, (t >> 21) & 0x0F, (t >> 16) & 0x1F,
                (t >> 11) & 0x1F, (t >> 5) & 0x3F);
  return text;
}

CExFatFileEntry::CExFatFileEntry(ExFatEntrySet set, bool inDeletedFolder, CVolumeAccess* access)
    : CFileEntry({}, 0, inDeletedFolder, access), m_set(std::move(set)) {}

CExFatFolder::CExFatFolder(ExFatEntrySet set, bool inDeletedFolder)
    : CFolderEntry({}, 0, inDeletedFolder, 0), m_set(std::move(set)) {}

namespace {

// A deleted folder's chain is gone: its clusters are its first and, unless
// it had no chain, the free ones after it, as for a deleted file.
bool ReadDeletedDirectory(CExFatVolumeAccess& access, const ExFatEntrySet& set, std::vector<uint8_t>* data) {
  const uint64_t clusterSize = access.GetClusterSize();
  const uint64_t length = std::min(set.dataLength, kMaxDirectoryBytes);
  std::vector<uint8_t> cluster(clusterSize);
  uint32_t passed = 0;
  for (uint64_t c = set.firstCluster; data->size() < length && access.IsValidCluster(c); ++c) {
    if (access.IsClusterUsed(c)) {
      if (set.NoFatChain() || c == set.firstCluster || ++passed > kMaxUsedClustersPassed) break;
      continue;
    }
    passed = 0;
    if (!access.ReadClusters(c, c, cluster.data())) break;
    data->insert(data->end(), cluster.begin(), cluster.end());
  }
  return !data->empty();
}

}  // namespace

bool CExFatFolder::Load(CFolderLoader& loader) {
  auto* access = dynamic_cast<CExFatVolumeAccess*>(loader.access);
  if (access == nullptr || !access->IsValidCluster(m_set.firstCluster)) return false;
  const bool deleted = m_set.deleted || IsInDeletedFolder();
  std::vector<uint8_t> data;
  const bool read = deleted ? ReadDeletedDirectory(*access, m_set, &data)
                            : access->ReadChain(m_set.firstCluster, m_set.NoFatChain(),
                                                std::min(m_set.dataLength, kMaxDirectoryBytes), &data);
  if (!read) return false;
  return WalkExFatDirectory(*this, loader, data, deleted);
}

bool CExFatRoot::Load(CFolderLoader& loader) {
  auto* access = dynamic_cast<CExFatVolumeAccess*>(loader.access);
  if (access == nullptr) return false;
  std::vector<uint8_t> data;
  if (!access->ReadChain(access->GetRootCluster(), false, kMaxDirectoryBytes, &data)) return false;
  return WalkExFatDirectory(*this, loader, data, false);
}

CExFatFoundFolder::CExFatFoundFolder(ByteSpan clusterData, uint32_t cluster, uint32_t number)
    : CFolderEntry({}, 0, true, 0), m_clusterData(clusterData.begin(), clusterData.end()), m_cluster(cluster),
      m_number(number) {}

bool CExFatFoundFolder::StartsWithEntrySet(ByteSpan clusterData) {
  if (clusterData.empty() || (clusterData[0] | exfat::kInUse) != exfat::kFileEntry) return false;
  ExFatEntrySet set;
  size_t entries = 0;
  DecodeError fault;
  return DecodeExFatEntrySet(clusterData, 0, &set, &entries, &fault);
}

bool CExFatFoundFolder::Load(CFolderLoader& loader) {
  loader.loaded.insert(m_cluster);
  std::vector<uint8_t> data;
  data.swap(m_clusterData);
  return WalkExFatDirectory(*this, loader, data, true);
}

bool WalkExFatDirectory(CFolderEntry& folder, CFolderLoader& loader, ByteSpan data, bool deletedDirectory) {
  bool kept = false;
  for (size_t at = 0; at + exfat::kEntrySize <= data.size();) {
    const uint8_t type = data[at];
    if (type == 0x00) break;  // the end of the directory
    if ((type | exfat::kInUse) != exfat::kFileEntry) {
      at += exfat::kEntrySize;
      continue;
    }
    ExFatEntrySet set;
    size_t entries = 1;
    DecodeError fault;
    if (!DecodeExFatEntrySet(data, at, &set, &entries, &fault)) {
      // A live directory reuses the slots of deleted sets: a broken one is passed over.
      if (set.deleted || deletedDirectory) ReportRejected(fault);
      at += exfat::kEntrySize;
      continue;
    }
    at += entries * exfat::kEntrySize;
    if (!set.deleted && !deletedDirectory && !set.IsDirectory()) continue;
    if (set.IsDirectory()) {
      const uint32_t cluster = set.firstCluster;
      if (loader.loaded.count(cluster) != 0 || loader.depth >= CFolderLoader::kMaxDepth) continue;
      loader.loaded.insert(cluster);
      auto sub = std::make_unique<CExFatFolder>(std::move(set), deletedDirectory);
      ++loader.depth;
      const bool loaded = sub->Load(loader);
      --loader.depth;
      if (!loaded) {
        loader.loaded.erase(cluster);
        continue;
      }
      loader.directoryClusters->push_back(cluster);
      folder.AttachFolder(std::move(sub));
    } else {
      folder.AttachFile(std::make_unique<CExFatFileEntry>(std::move(set), deletedDirectory, loader.access));
    }
    kept = true;
  }
  return kept;
}
