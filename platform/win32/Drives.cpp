// The Windows side of the drive table: lettered drives from the system,
// volumes opened as \\.\X:, file systems as the volume reports them.

#include <windows.h>

#include <string>

#include "platform/BootSector.h"
#include "platform/SystemDrives.h"
#include "platform/win32/Win32Device.h"
#include "platform/win32/WinText.h"

namespace {
constexpr DWORD kNameBufferLength = 34;

std::wstring RootPath(char letter) { return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\"; }

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

DriveType TypeOf(UINT type) {
  if (type == DRIVE_FIXED) return DriveType::Fixed;
  if (type == DRIVE_REMOVABLE) return DriveType::Removable;
  return DriveType::Other;
}

std::string VolumeFileSystem(char letter) {
  wchar_t volumeName[kNameBufferLength] = {};
  wchar_t fileSystem[kNameBufferLength] = {};
  if (!GetVolumeInformationW(RootPath(letter).c_str(), volumeName, kNameBufferLength, nullptr, nullptr, nullptr,
                             fileSystem, kNameBufferLength)) {
    return "";
  }
  return Narrow(fileSystem);
}

uint64_t VolumeSize(char letter) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceW(RootPath(letter).c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters)) {
    return 0;
  }
  return static_cast<uint64_t>(totalClusters) * sectorsPerCluster * bytesPerSector;
}

DriveInfo Describe(char letter, UINT type) {
  DriveInfo info;
  info.letter = letter;
  info.devicePath = VolumePath(letter);
  info.type = TypeOf(type);
  info.fileSystem = VolumeFileSystem(letter);
  info.totalSize = VolumeSize(letter);
  return info;
}
}  // namespace

namespace system_drives {

std::vector<DriveInfo> List() {
  std::vector<DriveInfo> drives;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const char letter = static_cast<char>('A' + i);
    drives.push_back(Describe(letter, GetDriveTypeW(RootPath(letter).c_str())));
  }
  return drives;
}

bool LetterInUse(char letter) {
  if (letter < 'A' || letter > 'Z') return false;
  return (GetLogicalDrives() & (1u << (letter - 'A'))) != 0;
}

bool Unlisted(char letter, DriveInfo* info) {
  if (letter < 'A' || letter > 'Z') return false;
  std::string reason;
  auto device = CWin32Device::Open(VolumePath(letter), &reason);
  if (!device) return false;
  *info = Describe(letter, DRIVE_UNKNOWN);
  // A device without a volume of the system's own (Wine's device links) is
  // named by its boot sector; what the system says of it may be stale.
  info->fileSystem = ProbeFileSystem(info->devicePath);
  if (info->totalSize == 0) {
    DiskGeometry geometry;
    if (device->GetGeometry(&geometry)) info->totalSize = geometry.diskSize;
  }
  return true;
}

bool InspectImagePath(const std::string& path, bool* isRegularFile, std::string* error) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (error) *error = SystemErrorText(GetLastError());
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (error) *error = "not a disk image or volume";
    return false;
  }
  *isRegularFile = true;
  return true;
}

std::shared_ptr<CDevice> OpenPath(const std::string& path, std::string* error) {
  return CWin32Device::Open(path, error);
}

std::string ProbeFileSystem(const std::string& path) {
  auto device = CWin32Device::Open(path, nullptr);
  if (!device) return "";
  uint8_t sector[512];
  uint32_t got = 0;
  if (!device->ReadAt(0, sector, sizeof sector, &got)) return "";
  return FileSystemOfBootSector(sector, got);
}

}  // namespace system_drives
