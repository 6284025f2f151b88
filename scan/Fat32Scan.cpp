#include "scan/Fat32Scan.h"

#include "scan/SignatureScan.h"
#include "volume/FAT32VolumeAccess.h"

namespace {

class CFat32Scan : public CVolumeScan {
 public:
  explicit CFat32Scan(std::unique_ptr<CFAT32VolumeAccess> access) : m_access(std::move(access)) {}

  // Folders and free space are read together: folders met in free space are
  // adopted by the tree, and the tree's clusters are not loaded twice.
  void Run(IScanProgress& dialog, ScanResults& results) override { CarveFreeSpace(dialog, results); }

  void CarveFreeSpace(IScanProgress& dialog, ScanResults& results) override {
    dialog.SetTitle("正在初始化,请等待......");
    ShowSearchTitle(dialog, results);
    CFAT32VolumeAccess* fat = m_access.get();
    results.volumeAccess = std::move(m_access);
    ScanFreeSpace(dialog, results, *fat, fat);
  }

 private:
  std::unique_ptr<CFAT32VolumeAccess> m_access;
};

}  // namespace

std::unique_ptr<CVolumeScan> OpenFat32Scan(std::shared_ptr<CDevice> device, std::string* why) {
  auto access = std::make_unique<CFAT32VolumeAccess>(std::move(device));
  if (!access->GetOpenError().empty()) {
    *why = access->GetOpenError().Text();
    return nullptr;
  }
  return std::make_unique<CFat32Scan>(std::move(access));
}
