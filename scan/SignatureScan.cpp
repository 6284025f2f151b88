#include <cstdio>

#include "platform/Drives.h"
#include "scan/ScanThread.h"
#include "volume/RawVolumeAccess.h"

namespace {
std::string DriveTitle(const char* format, char letter) {
  char title[64];
  std::snprintf(title, sizeof title, format, letter);
  return title;
}
}  // namespace

uint32_t RunSignatureScan(IScanProgress& dialog, ScanSession& session) {
  dialog.SetTitle("正在初始化,请等待......");
  const std::string fileSystem = GetVolumeFileSystemName(session.selectedDrive);
  if (fileSystem == "NTFS") return 0;
  if (fileSystem != "FAT32") session.resultSource = SourceOther;
  dialog.SetTitle(DriveTitle("正在搜索%c盘文件", session.selectedDrive));
  try {
    session.volumeAccess = std::make_unique<CRawVolumeAccess>(session.selectedDrive);
  } catch (const CVolumeOpenError& e) {
    session.sourceError = e.Reason();
  }
  return 0;
}
