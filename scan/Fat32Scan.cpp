#include "scan/Fat32Scan.h"

#include "scan/SignatureScan.h"
#include "volume/FAT32VolumeAccess.h"

std::unique_ptr<CVolumeScan> OpenFat32Scan(std::shared_ptr<CDevice> device, std::string* why) {
  auto access = std::make_unique<CFAT32VolumeAccess>(std::move(device));
  if (!access->GetOpenError().empty()) {
    *why = access->GetOpenError().Text();
    return nullptr;
  }
  // Folders and free space are read together: folders met in free space are
  // adopted by the tree, and the tree's clusters are not loaded twice.
  CFAT32VolumeAccess* fat = access.get();
  std::vector<std::string> notes;
  if (!fat->IsFatReadable()) {
    // Without a FAT, free clusters cannot be told from used ones, nor folders followed.
    notes.push_back("No copy of the FAT can be read: every cluster is searched for files");
  } else if (fat->IsFatDamaged()) {
    notes.push_back("Every copy of the FAT has sectors that cannot be read: the clusters they map are searched "
                    "as free space");
  }
  return MakeFreeSpaceScan(std::move(access), fat, std::move(notes));
}
