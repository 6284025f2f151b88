#pragma once
// What a scan reads and what it finds: the device and the user's mode going
// in, the objects that read the scanned volume again and every found file
// coming out.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Device.h"
#include "volume/ResilientDevice.h"

class CVolumeAccess;
class CNTFSVolume;
class CFileRecord;
class CBaseFile;
class CRootFolder;
class CFolderEntry;

enum RecoveryMode : int32_t { ModeNone = 0, ModeDeletedFiles = 1, ModeUniversal = 2 };
enum ResultSource : int32_t {
  SourceNtfs = 0,
  SourceFat32 = 1,
  SourceOther = 2,
  SourceFat16 = 3,
  SourceFat12 = 4,
  SourceExfat = 5,
};
// The FAT family: deleted files listed through a tree of folder objects.
inline bool IsFatSource(int32_t source) {
  return source == SourceFat32 || source == SourceFat16 || source == SourceFat12 || source == SourceExfat;
}

// What kind of object a found file is read back through.
enum class FoundKind : uint8_t { Ntfs, Carved, Fat32 };

// Reserved directory ids.
constexpr uint64_t kRootDirectoryId = 5;
constexpr uint64_t kPlaceholderParentId = 0;
constexpr uint64_t kTypeFoldersParentId = 0xFFFFFFFF;

struct FoundFile {
  uint64_t id = 0;         // MFT record number, or the index of the carved file
  uint64_t parentRef = 0;  // parent reference, or the carved file's type code
  std::string name;        // UTF-8, as stored on disk
  uint64_t time = 0;       // FILETIME, local time
  uint64_t size = 0;
  uint8_t checked = 0;
  FoundKind kind = FoundKind::Ntfs;
  uint64_t utcTime = 0;  // FILETIME, UTC, given to the recovered file
};

struct DirectoryInfo {
  uint8_t deleted = 0;
  uint64_t parentRef = 0;
  std::string name;
  uint8_t onPath = 0;
};

struct ScanResults {
  ScanResults();
  virtual ~ScanResults();
  ScanResults(const ScanResults&) = delete;
  ScanResults& operator=(const ScanResults&) = delete;
  // Back to no scan at all, for another one; what was read through the
  // volume goes before the volume.
  void Clear();

  // Going in: the device to scan, the name the user knows it by (for the
  // progress titles) and the mode.
  std::shared_ptr<CDevice> device;
  std::string volumeLabel;
  int32_t recoveryMode = ModeNone;

  // Coming out. fileSystem is the one the first sector names ("NTFS",
  // "FAT32", "exFAT"), empty when none; resultSource says how it was read.
  std::string fileSystem;
  int32_t resultSource = SourceNtfs;
  std::unique_ptr<CVolumeAccess> volumeAccess;
  std::unique_ptr<CRootFolder> rootFolder;
  // The volume outlives every record made from the prototype.
  std::unique_ptr<CNTFSVolume> ntfsVolume;
  std::unique_ptr<CFileRecord> recordPrototype;
  std::map<uint64_t, DirectoryInfo> directories;
  std::vector<FoundFile> foundFiles;
  uint32_t placeholderCount = 0;
  // FAT directory clusters found in free space, loaded as folders of their own.
  std::vector<std::unique_ptr<CFolderEntry>> foundFolders;
  std::vector<uint32_t> directoryClusters;
  // Completed carved files; a carved FoundFile's id is its index here.
  std::vector<std::unique_ptr<CBaseFile>> carvedFiles;
  // The device as the scan and every later read see it: failing sectors as
  // zeros, counted. Set by the scan from device.
  std::shared_ptr<CResilientDevice> reader;
  // Sectors the scan could not read.
  uint64_t unreadableSectors = 0;
  // Why the scan could not read the drive; empty when it could.
  std::string sourceError;
  // What the user should know of how the volume was read: the file system
  // found, metadata that could not be used and what was done instead.
  std::vector<std::string> notes;
};

inline uint32_t Low32(uint64_t value) { return static_cast<uint32_t>(value); }

// True once the device has failed so many sectors in a row that the scan stops.
inline bool DeviceGivenUp(const ScanResults& results) { return results.reader && results.reader->IsDead(); }
