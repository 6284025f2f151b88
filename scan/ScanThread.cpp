#include "scan/ScanThread.h"

#include "scan/FileSystems.h"

namespace {
constexpr const char* kNoDevice = "no drive or image was opened for the scan";
}

uint32_t ScanThreadProc(IScanProgress& dialog, ScanResults& results) {
  results.directories.clear();
  results.foundFiles.clear();
  if (!results.device) {
    results.resultSource = SourceOther;
    if (results.sourceError.empty()) results.sourceError = kNoDevice;
  } else {
    OpenVolumeScan(results)->Run(dialog, results);
  }
  if (!dialog.IsCancelled()) dialog.OnOK();
  return 0;
}

uint32_t RunSignatureScan(IScanProgress& dialog, ScanResults& results) {
  dialog.SetTitle("正在初始化,请等待......");
  if (!results.device) {
    results.resultSource = SourceOther;
    if (results.sourceError.empty()) results.sourceError = kNoDevice;
    return 0;
  }
  OpenVolumeScan(results)->CarveFreeSpace(dialog, results);
  return 0;
}
