#pragma once
// exFAT directories: entry sets (File, Stream Extension, File Names), each
// recoverable file and folder read through them, and the root from which the
// live tree and its deleted entries are walked. A deleted set keeps its
// entries with their in-use bits cleared (0x05, 0x40, 0x41).

#include <memory>
#include <string>
#include <vector>

#include "fat32/Folder.h"

class CExFatVolumeAccess;

namespace exfat {
constexpr uint8_t kFileEntry = 0x85;
constexpr uint8_t kStreamEntry = 0xC0;
constexpr uint8_t kNameEntry = 0xC1;
constexpr uint8_t kInUse = 0x80;
constexpr size_t kEntrySize = 32;
// File entry.
constexpr size_t kSecondaryCount = 1;
constexpr size_t kSetChecksum = 2;
constexpr size_t kAttributes = 4;
constexpr size_t kModified = 12;
constexpr size_t kModifiedUtcOffset = 23;
// Stream extension entry.
constexpr size_t kFlags = 1;
constexpr size_t kNameLength = 3;
constexpr size_t kValidDataLength = 8;
constexpr size_t kFirstCluster = 20;
constexpr size_t kDataLength = 24;
// File name entry: 15 UTF-16 characters from byte 2.
constexpr size_t kNameCharacters = 2;
constexpr uint8_t kNoFatChain = 0x02;
constexpr uint16_t kDirectory = 0x10;
}  // namespace exfat

// One decoded entry set.
struct ExFatEntrySet {
  std::vector<uint8_t> bytes;  // the set's entries, as found
  bool deleted = false;
  uint16_t attributes = 0;
  uint32_t modified = 0;
  uint8_t flags = 0;
  uint32_t firstCluster = 0;
  uint64_t validLength = 0;
  uint64_t dataLength = 0;
  std::string name;

  bool IsDirectory() const { return (attributes & exfat::kDirectory) != 0; }
  bool NoFatChain() const { return (flags & exfat::kNoFatChain) != 0; }
};

// The set whose File entry is at offset: its entry count in *entries (at
// least 1, so a walk always moves on). False, with what was wrong, when it
// is not a whole set or fails its checksum; a deleted set is checked with
// its in-use bits restored.
bool DecodeExFatEntrySet(ByteSpan directory, size_t offset, ExFatEntrySet* set, size_t* entries, DecodeError* fault);
// "YYYY-MM-DD  HH:MM" of an exFAT timestamp, as stored (local time).
std::string ExFatTimeText(uint32_t timestamp);

class CExFatFileEntry : public CFileEntry {
 public:
  CExFatFileEntry(ExFatEntrySet set, bool inDeletedFolder, CVolumeAccess* access);
  std::string GetShortName() const override { return m_set.name; }
  std::optional<std::string> GetLongName() const override { return m_set.name; }
  std::string GetName() const override { return m_set.name; }
  uint32_t GetEntrySetSize() const override { return static_cast<uint32_t>(m_set.bytes.size()); }
  uint64_t GetFileSize() const override { return m_set.dataLength; }
  std::string TimeText() const override { return ExFatTimeText(m_set.modified); }
  uint32_t GetFirstCluster() const override { return m_set.firstCluster; }

 protected:
  bool IsContiguous() const override { return m_set.NoFatChain(); }
  uint64_t ValidLength() const override { return std::min(m_set.validLength, m_set.dataLength); }

 private:
  ExFatEntrySet m_set;
};

class CExFatFolder : public CFolderEntry {
 public:
  CExFatFolder(ExFatEntrySet set, bool inDeletedFolder);
  std::string GetShortName() const override { return m_set.name; }
  std::optional<std::string> GetLongName() const override { return m_set.name; }
  std::string GetName() const override { return m_set.name; }
  uint32_t GetFirstCluster() const override { return m_set.firstCluster; }
  bool Load(CFolderLoader& loader) override;

 private:
  ExFatEntrySet m_set;
};

class CExFatRoot : public CRootFolder {
 public:
  explicit CExFatRoot(uint32_t rootCluster) : CRootFolder(rootCluster) {}
  bool Load(CFolderLoader& loader) override;
};

// A directory cluster met in free space whose folder's entry is gone: it
// starts with a whole entry set, and is walked as a deleted directory.
class CExFatFoundFolder : public CFolderEntry {
 public:
  CExFatFoundFolder(ByteSpan clusterData, uint32_t cluster, uint32_t number);
  static bool StartsWithEntrySet(ByteSpan clusterData);
  std::string GetName() const override { return "dir" + std::to_string(m_number); }
  uint32_t GetFirstCluster() const override { return m_cluster; }
  bool Load(CFolderLoader& loader) override;

 private:
  std::vector<uint8_t> m_clusterData;
  uint32_t m_cluster;
  uint32_t m_number;
};

// Walks an exFAT directory's entry sets into folder: in a live directory the
// deleted sets, in a deleted one every set; sub-folders are loaded in turn.
bool WalkExFatDirectory(CFolderEntry& folder, CFolderLoader& loader, ByteSpan data, bool deletedDirectory);
