#pragma once
// The file systems the scan can read, in one table. Which entry a volume
// belongs to is decided once, from its first sector; that decision chooses
// the volume access (and so the free-space map), the lister of deleted files
// and folders, and the result source the results window shows.

#include <memory>
#include <span>
#include <string>

#include "platform/Device.h"
#include "scan/ScanProgress.h"
#include "scan/ScanResults.h"

// A volume opened for the scan by its file system's entry.
class CVolumeScan {
 public:
  virtual ~CVolumeScan() = default;
  // The whole scan the mode asks for: deleted files and folders, free space.
  virtual void Run(IScanProgress& dialog, ScanResults& results) = 0;
  // Only the search of free space for files by their signatures.
  virtual void CarveFreeSpace(IScanProgress& dialog, ScanResults& results) = 0;
  // The result source when the volume itself tells it (FAT12 or FAT16 behind
  // one name); -1 leaves the entry's.
  virtual int32_t ResultSource() const { return -1; }
};

struct FileSystemEntry {
  const char* name;  // as the boot sector names it, and Windows too: "NTFS", "FAT32"
  int32_t resultSource;
  // Opens the volume for the scan; null, with the reason, when its own
  // metadata cannot be used.
  std::unique_ptr<CVolumeScan> (*open)(std::shared_ptr<CDevice> device, std::string* why);
};

std::span<const FileSystemEntry> FileSystemTable();

// The file system named by the device's first sector; empty when none is
// known, with the reason in *why when that sector cannot be read.
std::string ProbeFileSystem(CDevice& device, std::string* why);

// The one decision: recognises the results' device and opens it through its
// entry, or as a raw volume when no entry can read it. Sets fileSystem and
// resultSource, and notes what was found and why a volume is read raw.
std::unique_ptr<CVolumeScan> OpenVolumeScan(ScanResults& results);

// Opens a volume with no file system that can be read: every sector is free.
std::unique_ptr<CVolumeScan> OpenRawScan(std::shared_ptr<CDevice> device);
