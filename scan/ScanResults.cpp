#include "scan/ScanResults.h"

#include "fat32/Folder.h"
#include "filetypes/BaseFile.h"
#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "volume/VolumeAccess.h"

ScanResults::ScanResults() = default;

ScanResults::~ScanResults() { Clear(); }

void ScanResults::Clear() {
  // Records refer to the volume: release them first.
  recordPrototype.reset();
  ntfsVolume.reset();
  // Folders and files read through the access object: release them before it.
  rootFolder.reset();
  foundFolders.clear();
  carvedFiles.clear();
  volumeAccess.reset();
  foundFiles.clear();
  directories.clear();
  directoryClusters.clear();
  placeholderCount = 0;
  reader.reset();
  device.reset();
  unreadableSectors = 0;
  volumeLabel.clear();
  recoveryMode = ModeNone;
  fileSystem.clear();
  resultSource = SourceNtfs;
  sourceError.clear();
  notes.clear();
}
