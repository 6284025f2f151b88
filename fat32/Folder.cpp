#include "fat32/Folder.h"

#include <algorithm>
#include <cstring>

#include "platform/Diagnostics.h"
#include "platform/Time.h"
#include "volume/FAT32VolumeAccess.h"

namespace {
// A name has at most 20 long-name entries of 13 characters.
constexpr uint16_t kMaxLongNameEntries = 20;
// A FAT directory holds at most 65536 entries.
constexpr uint32_t kMaxDirectoryBytes = 65536 * kDirEntrySize;

uint16_t DateYearField(uint16_t date) { return date >> 9; }
uint16_t DateMonthField(uint16_t date) { return (date >> 5) & 0x0F; }
bool IsValidTime(uint16_t time) { return (time >> 11) <= 23 && ((time >> 5) & 0x3F) <= 59 && (time & 0x1F) <= 30; }
}  // namespace

bool IsDotEntry(ByteSpan e) {
  if (IsLongNameEntry(e) || LE8(e, 0) == kDeletedMarker) return false;
  const uint8_t kind = LE8(e, fatentry::kAttributes) & 0x18;
  return kind == kAttrVolumeLabel || (kind == kAttrDirectory && LE8(e, 0) == '.');
}

bool HasDotEntryShape(ByteSpan e) {
  if (LE32(e, fatentry::kFileSize) != 0 || LE8(e, fatentry::kAttributes) != kAttrDirectory) return false;
  for (size_t i = 2; i <= 10; ++i) {
    if (LE8(e, i) != ' ') return false;
  }
  return true;
}

bool IsPlausibleEntry(ByteSpan e, uint64_t clusterCount, int currentYear) {
  return CheckPlausibleEntry(e, clusterCount, currentYear).empty();
}

DecodeError CheckPlausibleEntry(ByteSpan e, uint64_t clusterCount, int currentYear) {
  const uint8_t first = LE8(e, 0);
  const uint8_t attributes = LE8(e, fatentry::kAttributes);
  const uint16_t created = LE16(e, fatentry::kCreationDate);
  const uint16_t accessed = LE16(e, fatentry::kAccessDate);
  const uint32_t cluster = EntryFirstCluster(e);
  auto reject = [](size_t offset, const char* field, uint64_t found, std::string expected) {
    return DecodeError{"directory entry", offset, field, HexValue(found), std::move(expected)};
  };
  if (first == 0x20 || first == 0x00) return reject(0, "first name byte", first, "not a space or 0");
  if (DateYearField(created) + 1980 > currentYear || DateMonthField(created) > 12) {
    return reject(fatentry::kCreationDate, "creation date", created, "a date up to this year");
  }
  if (!IsValidTime(LE16(e, fatentry::kCreationTime))) {
    return reject(fatentry::kCreationTime, "creation time", LE16(e, fatentry::kCreationTime), "a time of day");
  }
  if (!IsValidTime(LE16(e, fatentry::kWriteTime))) {
    return reject(fatentry::kWriteTime, "write time", LE16(e, fatentry::kWriteTime), "a time of day");
  }
  if (DateMonthField(accessed) > 12 || accessed < created) {
    return reject(fatentry::kAccessDate, "access date", accessed, "a date from the creation date " + HexValue(created));
  }
  if ((attributes & 0xC0) != 0 || attributes == 0) {
    return reject(fatentry::kAttributes, "attributes", attributes, "some of the bits 0x3f and none of 0xc0");
  }
  if (attributes & kAttrDirectory) {
    // A directory's short name pads its extension with spaces, or leaves it zero.
    const auto padding = [](uint8_t b) { return b == 0 || b == ' '; };
    if (LE32(e, fatentry::kFileSize) != 0) {
      return reject(fatentry::kFileSize, "folder size", LE32(e, fatentry::kFileSize), "0");
    }
    if (!padding(LE8(e, 0x08)) || !padding(LE8(e, 0x09))) {
      return reject(fatentry::kExtension, "folder extension", LE16(e, 0x08), "spaces or zeros");
    }
  }
  // An empty file has no cluster; Linux and many devices keep the high
  // cluster word of a deleted entry, where Windows clears it.
  const bool empty = !(attributes & kAttrDirectory) && LE32(e, fatentry::kFileSize) == 0;
  if (!(empty && cluster == 0) && !IsValidFatCluster(cluster, clusterCount) &&
      !IsValidFatCluster(LE16(e, fatentry::kClusterLow), clusterCount)) {
    return reject(fatentry::kClusterLow, "first cluster", cluster, "2 to " + std::to_string(clusterCount + 1));
  }
  if ((LE8(e, fatentry::kReserved) & 0xE7) != 0) {
    return reject(fatentry::kReserved, "reserved byte", LE8(e, fatentry::kReserved), "only the case bits 0x18");
  }
  return {};
}

CFolderLoader::CFolderLoader(CVolumeAccess* a, CFAT32VolumeAccess* f, FoundFolderList* found,
                             std::vector<uint32_t>* clusters)
    : access(a), fat(f), foundFolders(found), directoryClusters(clusters), currentYear(CurrentYear()) {}

CFolderEntry::CFolderEntry(ByteSpan entrySet, uint16_t longNameCount, bool inDeletedFolder, uint32_t parentCluster)
    : CEntry(entrySet, longNameCount, inDeletedFolder), m_parentCluster(parentCluster) {}

bool CFolderEntry::Load(CFolderLoader& loader) {
  m_hasContent = false;
  const uint32_t q = GetFirstCluster();
  if (!IsValidFatCluster(q, loader.access->GetClusterCount())) return false;
  if (IsMarkedDeleted() || IsInDeletedFolder() || loader.fat == nullptr) return LoadDeletedFolder(loader);
  uint32_t size = 0;
  loader.fat->ReadClusterChain(q, nullptr, &size);
  if (size == 0) {
    DiagnosticPrintf("%uThe folder \"%s\" is probably corrupted, because no data was found on this folder\n", q,
                     GetName().c_str());
    return false;
  }
  size = std::min(size, kMaxDirectoryBytes);
  m_data.assign(size, 0);
  if (!loader.fat->ReadClusterChain(q, m_data.data(), &size)) return false;
  // The root directory has no '.' and '..'. Its first entry is walked too: a
  // volume label there is live and so not kept, and on a volume without a
  // label it is the first file's entry or long name.
  return WalkEntries(loader, q == loader.fat->GetRootCluster() ? 0 : 2, false);
}

bool CFolderEntry::LoadDeletedFolder(CFolderLoader& loader) {
  const uint32_t q = GetFirstCluster();
  CVolumeAccess& access = *loader.access;
  if (!IsValidFatCluster(q, access.GetClusterCount()) || access.IsClusterUsed(q)) return false;
  const uint32_t clusterSize = access.GetClusterSize();
  if (clusterSize < 2 * kDirEntrySize) return false;
  m_data.assign(clusterSize, 0);
  access.ReadClusters(q, q, m_data.data());
  const ByteSpan data(m_data);
  const ByteSpan dot = data.subspan(0, kDirEntrySize);
  const ByteSpan dotDot = data.subspan(kDirEntrySize, kDirEntrySize);
  if (!IsDotEntry(dot) || !IsDotEntry(dotDot)) return false;
  if (EntryFirstCluster(dot) != q || !HasDotEntryShape(dot)) return false;
  // The '..' of a folder directly below the root holds 0.
  uint32_t parent = m_parentCluster;
  if (loader.fat != nullptr && parent == loader.fat->GetRootCluster()) parent = 0;
  if (!HasDotEntryShape(dotDot) || EntryFirstCluster(dotDot) != parent) return false;
  ReadFollowingClusters(loader, q);
  return WalkEntries(loader, 2, true);
}

// How many of a cluster's short entries could belong to a real folder, and
// how many could not; the walk stops at the end-of-directory entry.
CFolderEntry::EntryCounts CFolderEntry::CountEntries(const CFolderLoader& loader, ByteSpan data, size_t firstIndex) {
  EntryCounts counts;
  for (size_t i = firstIndex; i < data.size() / kDirEntrySize; ++i) {
    const ByteSpan entry = data.subspan(i * kDirEntrySize, kDirEntrySize);
    if (LE8(entry, 0) == 0x00) {
      counts.ended = true;
      break;
    }
    if (IsLongNameEntry(entry)) continue;
    if (CheckPlausibleEntry(entry, loader.access->GetClusterCount(), loader.currentYear).empty()) {
      ++counts.plausible;
    } else {
      ++counts.implausible;
    }
  }
  return counts;
}

// A folder's chain is gone once it is deleted; a folder of many files went on
// in the free clusters after its first, which read as directory entries.
void CFolderEntry::ReadFollowingClusters(CFolderLoader& loader, uint32_t first) {
  CVolumeAccess& access = *loader.access;
  const uint32_t clusterSize = access.GetClusterSize();
  if (CountEntries(loader, m_data, 0).ended) return;
  std::vector<uint8_t> next(clusterSize);
  uint32_t passed = 0;
  for (uint64_t c = first + 1; IsValidFatCluster(c, access.GetClusterCount()); ++c) {
    if (m_data.size() + clusterSize > kMaxDirectoryBytes) return;
    if (access.IsClusterUsed(c)) {
      if (++passed > kMaxUsedClustersPassed) return;
      continue;
    }
    passed = 0;
    if (!access.ReadClusters(c, c, next.data())) return;
    // Another folder's first cluster, or one that does not read as entries, ends it.
    if (IsDotEntry(ByteSpan(next).subspan(0, kDirEntrySize))) return;
    if (LE8(ByteSpan(next), 0) == 0x00) return;
    const EntryCounts counts = CountEntries(loader, next, 0);
    if (!counts.IsFolderLike()) return;
    m_data.insert(m_data.end(), next.begin(), next.end());
    if (counts.ended) return;
  }
}

bool CFolderEntry::EntryCounts::IsFolderLike() const {
  // Most entries of a real folder check out; a few damaged ones do not condemn it.
  return plausible > 0 && implausible * 3 <= plausible;
}

bool CFolderEntry::WalkEntries(CFolderLoader& loader, size_t firstIndex, bool plausibleOnly) {
  const ByteSpan data(m_data);
  if (plausibleOnly) {
    const EntryCounts counts = CountEntries(loader, data, firstIndex);
    if (counts.implausible > 0 && !counts.IsFolderLike()) {
      ReportRejected(DecodeError{"deleted folder at cluster " + std::to_string(GetFirstCluster()), 0,
                                 "implausible entries", std::to_string(counts.implausible) + " of " +
                                 std::to_string(counts.plausible + counts.implausible),
                                 "at most a quarter"});
      return false;
    }
  }
  const size_t count = data.size() / kDirEntrySize;
  uint16_t longNames = 0;
  for (size_t i = firstIndex; i < count; ++i) {
    const ByteSpan entry = data.subspan(i * kDirEntrySize, kDirEntrySize);
    if (LE8(entry, 0) == 0x00) break;
    if (IsLongNameEntry(entry)) {
      if (longNames < kMaxLongNameEntries) ++longNames;
      continue;
    }
    if (plausibleOnly) {
      DecodeError fault = CheckPlausibleEntry(entry, loader.access->GetClusterCount(), loader.currentYear);
      if (!fault.empty()) {
        fault.structure = "entry " + std::to_string(i) + " of the deleted folder at cluster " +
                          std::to_string(GetFirstCluster());
        ReportRejected(fault);
        longNames = 0;
        continue;
      }
    }
    const ByteSpan entrySet = data.subspan((i - longNames) * kDirEntrySize, (longNames + 1u) * kDirEntrySize);
    const bool kept = (LE8(entry, fatentry::kAttributes) & kAttrDirectory) ? AddFolder(loader, entrySet, longNames)
                                                                          : AddFile(loader, entrySet, longNames);
    if (kept) m_hasContent = true;
    longNames = 0;
  }
  return m_hasContent;
}

bool CFolderEntry::AddFolder(CFolderLoader& loader, ByteSpan entrySet, uint16_t longNameCount) {
  auto folder = std::make_unique<CFolderEntry>(entrySet, longNameCount, ChildrenInDeletedFolder(), GetFirstCluster());
  const uint32_t cluster = folder->GetFirstCluster();
  // A folder found earlier in free space is adopted where its parent turns up.
  for (const auto& found : *loader.foundFolders) {
    if (found->GetFirstCluster() == cluster) {
      m_subFolders.push_back(found.get());
      return true;
    }
  }
  // A folder met twice, by a cycle or a damaged entry, is loaded once.
  if (loader.loaded.count(cluster) != 0 || loader.depth >= CFolderLoader::kMaxDepth) return false;
  loader.loaded.insert(cluster);
  ++loader.depth;
  const bool loaded = folder->Load(loader);
  --loader.depth;
  if (!loaded) {
    loader.loaded.erase(cluster);
    return false;
  }
  loader.directoryClusters->push_back(cluster);
  m_subFolders.push_back(folder.get());
  m_ownedSubFolders.push_back(std::move(folder));
  return true;
}

bool CFolderEntry::AddFile(CFolderLoader& loader, ByteSpan entrySet, uint16_t longNameCount) {
  auto file = std::make_unique<CFileEntry>(entrySet, longNameCount, ChildrenInDeletedFolder(), loader.access);
  // In a live folder only deleted entries are kept; in a deleted one, all.
  if (!file->IsMarkedDeleted() && !file->IsInDeletedFolder()) return false;
  m_files.push_back(std::move(file));
  return true;
}

void CFolderEntry::AttachFile(std::unique_ptr<CFileEntry> file) {
  m_files.push_back(std::move(file));
  m_hasContent = true;
}

void CFolderEntry::AttachFolder(std::unique_ptr<CFolderEntry> folder) {
  m_subFolders.push_back(folder.get());
  m_ownedSubFolders.push_back(std::move(folder));
  m_hasContent = true;
}

CRootFolder::CRootFolder(uint32_t rootCluster) : CFolderEntry({}, 0, false, 0), m_rootCluster(rootCluster) {}

bool CRootFolder::Load(CFolderLoader& loader) {
  if (loader.fat == nullptr || !loader.fat->HasFixedRoot()) return CFolderEntry::Load(loader);
  m_hasContent = false;
  if (!loader.fat->ReadFixedRoot(&m_data)) return false;
  return WalkEntries(loader, 0, false);
}

CRawFolder::CRawFolder(ByteSpan clusterData, uint32_t cluster, uint32_t number)
    : CFolderEntry({}, 0, true, 0), m_clusterData(clusterData), m_cluster(cluster), m_number(number) {}

bool CRawFolder::Load(CFolderLoader& loader) {
  m_hasContent = false;
  m_data.assign(m_clusterData.begin(), m_clusterData.end());
  m_clusterData = {};
  loader.loaded.insert(m_cluster);
  ReadFollowingClusters(loader, m_cluster);
  const ByteSpan first = ByteSpan(m_data).subspan(0, std::min(m_data.size(), kDirEntrySize));
  return WalkEntries(loader, IsDotEntry(first) ? 2 : 0, false);
}
