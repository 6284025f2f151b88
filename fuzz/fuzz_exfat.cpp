// exFAT over an in-memory volume made from the input: its boot sector, the
// allocation bitmap found in the root, the entry sets of every directory met
// from the root, and a cluster loaded as a folder found in free space.
#include "app/ScanSession.h"
#include "fat32/ExFat.h"
#include "platform/MemoryDevice.h"
#include "volume/ExFatVolumeAccess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto image = std::make_shared<const std::vector<uint8_t>>(data, data + size);
  auto access = std::make_unique<CExFatVolumeAccess>(std::make_shared<CMemoryDevice>(image));
  if (!access->GetOpenError().empty()) return 0;
  ScanSession session;
  CFolderLoader loader(access.get(), nullptr, &session.foundFolders, &session.directoryClusters);
  CExFatRoot root(access->GetRootCluster());
  root.Load(loader);
  std::vector<uint8_t> cluster(access->GetClusterSize());
  std::unique_ptr<CExFatFoundFolder> found;
  if (access->ReadClusters(access->GetRootCluster(), access->GetRootCluster(), cluster.data()) &&
      CExFatFoundFolder::StartsWithEntrySet(cluster)) {
    found = std::make_unique<CExFatFoundFolder>(cluster, access->GetRootCluster(), 1);
    found->Load(loader);
  }
  // Names, times and contents of everything found, as the results window reads them.
  std::vector<const CFolderEntry*> stack{&root};
  if (found) stack.push_back(found.get());
  for (size_t visited = 0; !stack.empty() && visited < 10000; ++visited) {
    const CFolderEntry* folder = stack.back();
    stack.pop_back();
    for (const auto& file : folder->Files()) {
      file->GetName();
      file->TimeText();
      // Contents only of files small enough not to spend the run in allocating.
      uint32_t length = 0;
      if (file->GetFileSize() <= 64 * 1024) file->LoadContent(&length);
    }
    for (const CFolderEntry* sub : folder->SubFolders()) stack.push_back(sub);
  }
  return 0;
}
