#pragma once
// FAT32 folders: the live tree from the root with its deleted entries,
// deleted folders as far as their first cluster allows, and directory
// clusters found in free space.

#include <memory>
#include <unordered_set>
#include <vector>

#include "fat32/Entry.h"
#include "volume/DecodeError.h"

class CVolumeAccess;
class CFAT32VolumeAccess;
class CFolderEntry;

// The entry tests of the folder reader.
bool IsDotEntry(ByteSpan entry);
// Size 0, attributes exactly "directory", bytes 2 to 10 spaces: '.' or '..'.
bool HasDotEntryShape(ByteSpan entry);
bool IsPlausibleEntry(ByteSpan entry, uint64_t clusterCount, int currentYear);
// Why an entry cannot belong to a real deleted folder; empty when it can.
DecodeError CheckPlausibleEntry(ByteSpan entry, uint64_t clusterCount, int currentYear);

// A deleted folder goes on in the free clusters after its first; past this
// many clusters in use in a row it is taken to have ended, so that a full
// volume is not walked to its end once for every deleted folder.
constexpr uint32_t kMaxUsedClustersPassed = 4096;

// Folders met in free space, owned by whoever keeps the scan's results.
using FoundFolderList = std::vector<std::unique_ptr<CFolderEntry>>;

// What loading folders needs: the readers, the lists of folders found in free
// space and of directory clusters, and the clusters loaded so far, which keep
// a damaged tree from being walked twice.
struct CFolderLoader {
  CFolderLoader(CVolumeAccess* access, CFAT32VolumeAccess* fat, FoundFolderList* foundFolders,
                std::vector<uint32_t>* directoryClusters);
  CVolumeAccess* access;
  CFAT32VolumeAccess* fat;  // null when the volume is not FAT32
  FoundFolderList* foundFolders;
  std::vector<uint32_t>* directoryClusters;
  int currentYear;
  std::unordered_set<uint32_t> loaded;
  int depth = 0;

  static constexpr int kMaxDepth = 256;
};

class CFolderEntry : public CEntry {
 public:
  CFolderEntry(ByteSpan entrySet, uint16_t longNameCount, bool inDeletedFolder, uint32_t parentCluster);
  virtual uint32_t GetFirstCluster() const { return EntryFirstCluster(ShortEntry()); }
  virtual bool Load(CFolderLoader& loader);

  const std::vector<CFolderEntry*>& SubFolders() const { return m_subFolders; }
  const std::vector<std::unique_ptr<CFileEntry>>& Files() const { return m_files; }
  bool HasContent() const { return m_hasContent; }
  // Attach what a reader of another directory format kept in this folder.
  void AttachFile(std::unique_ptr<CFileEntry> file);
  void AttachFolder(std::unique_ptr<CFolderEntry> folder);

 protected:
  bool LoadDeletedFolder(CFolderLoader& loader);
  struct EntryCounts {
    size_t plausible = 0;
    size_t implausible = 0;
    bool ended = false;  // an end-of-directory entry was met
    bool IsFolderLike() const;
  };
  static EntryCounts CountEntries(const CFolderLoader& loader, ByteSpan data, size_t firstIndex);
  void ReadFollowingClusters(CFolderLoader& loader, uint32_t first);
  // Walks the directory data from an index; plausibleOnly passes over entries
  // that cannot belong to a real deleted folder, and gives the folder up when
  // more than a quarter cannot.
  bool WalkEntries(CFolderLoader& loader, size_t firstIndex, bool plausibleOnly);
  bool AddFolder(CFolderLoader& loader, ByteSpan entrySet, uint16_t longNameCount);
  bool AddFile(CFolderLoader& loader, ByteSpan entrySet, uint16_t longNameCount);
  bool ChildrenInDeletedFolder() const { return IsMarkedDeleted() || IsInDeletedFolder(); }

  uint32_t m_parentCluster;
  std::vector<CFolderEntry*> m_subFolders;  // owned here, or raw folders owned by the session
  std::vector<std::unique_ptr<CFolderEntry>> m_ownedSubFolders;
  std::vector<std::unique_ptr<CFileEntry>> m_files;
  bool m_hasContent = false;
  std::vector<uint8_t> m_data;  // the directory data the entries point into
};

class CRootFolder : public CFolderEntry {
 public:
  explicit CRootFolder(uint32_t rootCluster);
  std::string GetName() const override { return "ROOT"; }
  uint32_t GetFirstCluster() const override { return m_rootCluster; }
  // FAT12 and FAT16 keep the root in a fixed region rather than a chain.
  bool Load(CFolderLoader& loader) override;

 private:
  uint32_t m_rootCluster;
};

// A directory cluster met in free space, loaded as a folder of its own.
class CRawFolder : public CFolderEntry {
 public:
  CRawFolder(ByteSpan clusterData, uint32_t cluster, uint32_t number);
  std::string GetName() const override { return "dir" + std::to_string(m_number); }
  uint32_t GetFirstCluster() const override { return m_cluster; }
  bool Load(CFolderLoader& loader) override;

 private:
  ByteSpan m_clusterData;  // the scan's buffer, valid only during Load
  uint32_t m_cluster;
  uint32_t m_number;
};
