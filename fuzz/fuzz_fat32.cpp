// FAT32 directory entries and folder loading over an in-memory FAT32 volume:
// the input gives the FAT's first entries and the first data clusters (the
// root directory and what it points at), and a cluster loaded as a raw folder.
#include <cstring>

#include "app/ScanSession.h"
#include "fat32/Folder.h"
#include "platform/MemoryDevice.h"
#include "support/FatImageBuilder.h"
#include "volume/FAT32VolumeAccess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One volume of 512 one-sector clusters for every input; the FAT's first
  // entries and the first 128 clusters are rewritten whole each time.
  constexpr size_t kFatBytes = 256;
  constexpr size_t kDataBytes = 128 * FatImageBuilder::kBytesPerSector;
  static FatImageBuilder builder(4);
  static const auto image = std::make_shared<std::vector<uint8_t>>(builder.Image());
  const size_t fatOffset = 32 * FatImageBuilder::kBytesPerSector + 8;  // past the two reserved entries
  const size_t dataOffset = builder.ClusterOffset(2);
  const size_t fatTake = std::min(size, kFatBytes);
  const size_t dataTake = std::min(size - fatTake, kDataBytes);
  std::memset(image->data() + fatOffset, 0, kFatBytes);
  std::memcpy(image->data() + fatOffset, data, fatTake);
  std::memset(image->data() + dataOffset, 0, kDataBytes);
  std::memcpy(image->data() + dataOffset, data + fatTake, dataTake);
  auto access = std::make_unique<CFAT32VolumeAccess>(std::make_shared<CMemoryDevice>(image));
  ScanSession session;
  CFolderLoader loader(access.get(), access.get(), &session.foundFolders, &session.directoryClusters);
  CRootFolder root(access->GetRootCluster());
  root.Load(loader);
  Bytes cluster(image->begin() + builder.ClusterOffset(3), image->begin() + builder.ClusterOffset(4));
  CRawFolder raw(cluster, 3, 1);
  raw.Load(loader);
  // Names and contents of everything found, as the results window reads them.
  std::vector<const CFolderEntry*> stack{&root, &raw};
  for (size_t visited = 0; !stack.empty() && visited < 10000; ++visited) {
    const CFolderEntry* folder = stack.back();
    stack.pop_back();
    for (const auto& file : folder->Files()) {
      file->GetName();
      FatTimeText(file->ShortEntry());
      // Contents only of files small enough not to spend the run in allocating.
      uint32_t length = 0;
      if (file->GetFileSize() <= 64 * 1024) file->LoadContent(&length);
    }
    for (const CFolderEntry* sub : folder->SubFolders()) stack.push_back(sub);
  }
  return 0;
}
