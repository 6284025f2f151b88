#include "scan/FileSystems.h"
#include "scan/SignatureScan.h"
#include "volume/RawVolumeAccess.h"

namespace {

class CRawScan : public CVolumeScan {
 public:
  explicit CRawScan(std::shared_ptr<CDevice> device) : m_device(std::move(device)) {}

  void Run(IScanProgress& dialog, ScanResults& results) override { CarveFreeSpace(dialog, results); }

  void CarveFreeSpace(IScanProgress& dialog, ScanResults& results) override {
    dialog.SetTitle("正在初始化,请等待......");
    ShowSearchTitle(dialog, results);
    results.volumeAccess = std::make_unique<CRawVolumeAccess>(m_device);
    ScanFreeSpace(dialog, results, *results.volumeAccess, nullptr);
  }

 private:
  std::shared_ptr<CDevice> m_device;
};

}  // namespace

std::unique_ptr<CVolumeScan> OpenRawScan(std::shared_ptr<CDevice> device) {
  return std::make_unique<CRawScan>(std::move(device));
}
