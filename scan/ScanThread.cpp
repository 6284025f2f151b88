#include "scan/ScanThread.h"

#include "scan/FileSystems.h"

namespace {
constexpr const char* kNoDevice = "no drive or image was opened for the scan";
}

namespace {
// False, with the reason kept, when no device was opened for the scan.
bool HasDevice(ScanResults& results) {
  if (results.device) return true;
  results.resultSource = SourceOther;
  if (results.sourceError.empty()) results.sourceError = kNoDevice;
  return false;
}

// Every read of the scan, and of recovery after it, goes through the resilient device.
void UseResilientReads(ScanResults& results) {
  if (!results.reader) {
    results.reader = std::make_shared<CResilientDevice>(results.device);
    results.device = results.reader;
  }
}

void TakeReadFailures(ScanResults& results) {
  results.unreadableSectors = results.reader->UnreadableCount();
  if (results.reader->IsDead() && results.sourceError.empty()) {
    results.sourceError = "the device fails every read (" + results.reader->LastErrorText() + "), " +
                          std::to_string(CResilientDevice::kDeadAfter) + " sectors in a row";
  }
}
}  // namespace

uint32_t ScanThreadProc(IScanProgress& dialog, ScanResults& results) {
  results.directories.clear();
  results.foundFiles.clear();
  if (HasDevice(results)) {
    UseResilientReads(results);
    OpenVolumeScan(results)->Run(dialog, results);
    TakeReadFailures(results);
  }
  if (!dialog.IsCancelled()) dialog.OnOK();
  return 0;
}

uint32_t RunSignatureScan(IScanProgress& dialog, ScanResults& results) {
  dialog.SetTitle("正在初始化,请等待......");
  if (!HasDevice(results)) return 0;
  UseResilientReads(results);
  OpenVolumeScan(results)->CarveFreeSpace(dialog, results);
  TakeReadFailures(results);
  return 0;
}
