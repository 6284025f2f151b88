#include "scan/ExFatScan.h"

#include "fat32/ExFat.h"
#include "scan/SignatureScan.h"
#include "volume/ExFatVolumeAccess.h"

std::unique_ptr<CVolumeScan> OpenExFatScan(std::shared_ptr<CDevice> device, std::string* why) {
  auto access = std::make_unique<CExFatVolumeAccess>(std::move(device));
  if (!access->GetOpenError().empty()) {
    *why = access->GetOpenError().Text();
    return nullptr;
  }
  std::vector<std::string> notes;
  if (!access->IsBitmapReadable()) {
    // Without the bitmap, free clusters cannot be told from used ones.
    notes.push_back("The allocation bitmap cannot be read: every cluster is searched for files");
  }
  auto root = std::make_unique<CExFatRoot>(access->GetRootCluster());
  return MakeFreeSpaceScan(std::move(access), nullptr, std::move(notes), std::move(root), SourceExfat);
}
