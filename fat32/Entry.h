#pragma once
// FAT directory entries: the 32-byte short entry with the long-name entries
// that stood before it, and the file entry that can be recovered.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "volume/DelFile.h"
#include "platform/ByteOrder.h"

class CVolumeAccess;

constexpr size_t kDirEntrySize = 32;
constexpr uint8_t kDeletedMarker = 0xE5;
constexpr uint8_t kEscapedE5 = 0x05;
// Bits of the byte at 0x0C: the name, or the extension, was stored lower case.
constexpr uint8_t kCaseLowerName = 0x08;
constexpr uint8_t kCaseLowerExtension = 0x10;

// Short entry offsets.
namespace fatentry {
constexpr size_t kName = 0x00;
constexpr size_t kExtension = 0x08;
constexpr size_t kAttributes = 0x0B;
constexpr size_t kReserved = 0x0C;
constexpr size_t kCreationTime = 0x0E;
constexpr size_t kCreationDate = 0x10;
constexpr size_t kAccessDate = 0x12;
constexpr size_t kClusterHigh = 0x14;
constexpr size_t kWriteTime = 0x16;
constexpr size_t kWriteDate = 0x18;
constexpr size_t kClusterLow = 0x1A;
constexpr size_t kFileSize = 0x1C;
}  // namespace fatentry

enum : uint8_t { kAttrVolumeLabel = 0x08, kAttrDirectory = 0x10, kAttrLongName = 0x0F };

inline bool IsLongNameEntry(ByteSpan e) { return (LE8(e, fatentry::kAttributes) & 0x3F) == kAttrLongName; }
inline uint32_t EntryFirstCluster(ByteSpan e) {
  return (static_cast<uint32_t>(LE16(e, fatentry::kClusterHigh)) << 16) | LE16(e, fatentry::kClusterLow);
}
// "YYYY-MM-DD  HH:MM" from an entry's last write date and time, as stored.
std::string FatTimeText(ByteSpan shortEntry);

class CEntry {
 public:
  // entrySet holds the long-name entries, then the short entry, inside the
  // directory data of the folder that was read.
  CEntry(ByteSpan entrySet, uint16_t longNameCount, bool inDeletedFolder);
  virtual ~CEntry() = default;

  virtual std::string GetShortName() const;
  virtual std::optional<std::string> GetLongName() const;
  virtual uint32_t GetEntrySetSize() const { return (m_longNameCount + 1u) * kDirEntrySize; }
  virtual std::string GetName() const;

  ByteSpan ShortEntry() const { return ByteSpan(m_shortEntry); }
  bool IsInDeletedFolder() const { return m_inDeletedFolder; }
  bool IsMarkedDeleted() const { return m_shortEntry[0] == kDeletedMarker; }
  virtual uint64_t GetFileSize() const { return LE32(ShortEntry(), fatentry::kFileSize); }
  // "YYYY-MM-DD  HH:MM", the last write time as stored.
  virtual std::string TimeText() const { return FatTimeText(ShortEntry()); }

 protected:
  std::array<uint8_t, kDirEntrySize> m_shortEntry{};
  ByteSpan m_entrySet;
  uint16_t m_longNameCount;
  bool m_inDeletedFolder;
};

// A file of a FAT directory. A deleted file's chain is gone: it is read from
// its first cluster through the free clusters after it.
class CFileEntry : public CDelFile, public CEntry {
 public:
  CFileEntry(ByteSpan entrySet, uint16_t longNameCount, bool inDeletedFolder, CVolumeAccess* access);
  bool RecoverTo(const std::string& path, std::string* error, WriteFault* fault = nullptr) override;
  const uint8_t* LoadContent(uint32_t* length) override;
  bool OpenContent(ContentSource* source, std::string* error) override;
  bool ContentTaken() const override { return m_clustersTaken; }
  // The clusters the file held when it was written: the run from its first
  // cluster, the chain being gone.
  ContentLayout Layout() override;
  // Both words, unless they name no cluster of the volume while the low word
  // alone does: Windows clears the high word of a deleted entry.
  virtual uint32_t GetFirstCluster() const;
  // The volume sector its data starts at; 0 when it names no cluster of the volume.
  uint64_t FirstDataSector() const;

  // The user's check in the results window; a checked folder writes only its checked files.
  bool checked = false;

 protected:
  // A file known to lie in one run of clusters from its first, whatever the
  // allocation says since (exFAT's streams without a FAT chain).
  virtual bool IsContiguous() const { return false; }
  // Bytes past this were never written and read as zeros (exFAT's valid data length).
  virtual uint64_t ValidLength() const { return GetFileSize(); }

 private:
  struct ClusterRun {
    uint64_t firstCluster;
    uint64_t fileIndex;  // the run's first cluster is this cluster of the file
    uint64_t count;
  };
  bool PlanClusters(std::string* error);
  bool ReadContent(uint64_t offset, uint32_t length, uint8_t* buffer, std::string* error);

  CVolumeAccess* m_access;
  bool m_planned = false;
  std::string m_planError;
  bool m_clustersTaken = false;  // the plan failed because other files hold its clusters
  std::string m_readError;  // the last read's fault, told with a failed recovery
  std::vector<ClusterRun> m_runs;
};
