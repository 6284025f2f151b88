// The drive table shared by every system: registered images and in-memory
// drives, and the system's own drives, each under one letter.

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "platform/BootSector.h"
#include "platform/Drives.h"
#include "platform/GzipImage.h"
#include "platform/MemoryDevice.h"
#include "platform/SystemDrives.h"

namespace {

struct RegisteredDrive {
  DriveInfo info;
  std::shared_ptr<const std::vector<uint8_t>> memory;  // set for in-memory images
};

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}
std::map<char, RegisteredDrive>& Registered() {
  static std::map<char, RegisteredDrive> drives;
  return drives;
}

bool IsTaken(char letter, const std::vector<DriveInfo>& drives) {
  return std::any_of(drives.begin(), drives.end(), [&](const DriveInfo& d) { return d.letter == letter; });
}

// System drives without letters take them from C upwards, skipping letters given to images.
std::vector<DriveInfo> AllDrivesLocked() {
  std::vector<DriveInfo> drives;
  for (const auto& [letter, reg] : Registered()) drives.push_back(reg.info);
  char next = 'C';
  for (DriveInfo device : system_drives::List()) {
    const bool already = std::any_of(drives.begin(), drives.end(), [&](const DriveInfo& d) {
      return d.devicePath == device.devicePath;
    });
    if (already) continue;
    if (device.letter == 0) {
      while (next <= 'Z' && IsTaken(next, drives)) ++next;
      if (next > 'Z') break;
      device.letter = next++;
    } else if (IsTaken(device.letter, drives)) {
      continue;
    }
    drives.push_back(device);
  }
  std::sort(drives.begin(), drives.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
  return drives;
}

char FreeImageLetterLocked() {
  // Images get letters from the far end so the system's drives keep theirs stable.
  for (char c = 'Z'; c >= 'D'; --c) {
    if (Registered().count(c) == 0 && !system_drives::LetterInUse(c)) return c;
  }
  return 0;
}

char Upper(char letter) { return static_cast<char>(std::toupper(static_cast<unsigned char>(letter))); }

}  // namespace

bool RegisterImage(const std::string& imageArgument, std::string* error, char* letterOut) {
  std::string path = imageArgument;
  char letter = 0;
  const size_t eq = imageArgument.rfind('=');
  if (eq != std::string::npos && eq + 2 == imageArgument.size() &&
      std::isalpha(static_cast<unsigned char>(imageArgument[eq + 1]))) {
    path = imageArgument.substr(0, eq);
    letter = Upper(imageArgument[eq + 1]);
  }
  bool isRegularFile = false;
  std::string reason;
  if (!system_drives::InspectImagePath(path, &isRegularFile, &reason)) {
    if (error) *error = path + ": " + reason;
    return false;
  }
  std::shared_ptr<CDevice> device = system_drives::OpenPath(path, &reason);
  if (!device) {
    if (error) *error = path + ": " + reason;
    return false;
  }
  DiskGeometry geometry;
  device->GetGeometry(&geometry);
  std::shared_ptr<const std::vector<uint8_t>> unpacked;
  if (isRegularFile && IsGzipImage(*device)) {
    unpacked = UnpackGzipImage(*device, geometry.diskSize, &reason);
    if (!unpacked) {
      if (error) *error = path + ": " + reason;
      return false;
    }
  }

  std::lock_guard<std::mutex> lock(TableMutex());
  if (letter == 0) letter = FreeImageLetterLocked();
  if (letter == 0 || Registered().count(letter) != 0) {
    if (error) *error = path + ": drive letter " + std::string(1, letter ? letter : '?') + " is already in use";
    return false;
  }
  RegisteredDrive reg;
  reg.info.letter = letter;
  reg.info.devicePath = path;
  reg.info.type = DriveType::Fixed;
  reg.info.totalSize = geometry.diskSize;
  reg.info.fileSystem = system_drives::ProbeFileSystem(path);
  reg.info.isImage = isRegularFile;
  if (unpacked) {
    reg.info.totalSize = unpacked->size();
    reg.info.fileSystem = FileSystemOfBootSector(unpacked->data(), unpacked->size());
    reg.memory = unpacked;
  }
  Registered()[letter] = reg;
  if (letterOut) *letterOut = letter;
  return true;
}

bool RegisterMemoryImage(char letter, std::shared_ptr<const std::vector<uint8_t>> bytes,
                         const std::string& fileSystem) {
  std::lock_guard<std::mutex> lock(TableMutex());
  RegisteredDrive reg;
  reg.info.letter = letter;
  reg.info.devicePath = std::string("memory:") + letter;
  reg.info.fileSystem = fileSystem;
  reg.info.totalSize = bytes->size();
  reg.info.isImage = true;
  reg.memory = std::move(bytes);
  Registered()[letter] = reg;
  return true;
}

void ForgetDrive(char letter) {
  std::lock_guard<std::mutex> lock(TableMutex());
  Registered().erase(letter);
}

std::vector<DriveInfo> ListDrives() {
  std::lock_guard<std::mutex> lock(TableMutex());
  return AllDrivesLocked();
}

bool FindDrive(char letter, DriveInfo* info) {
  letter = Upper(letter);
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Registered().find(letter);
    if (it != Registered().end()) {
      *info = it->second.info;
      return true;
    }
    for (const DriveInfo& d : AllDrivesLocked()) {
      if (d.letter == letter) {
        *info = d;
        return true;
      }
    }
  }
  return system_drives::Unlisted(letter, info);
}

std::shared_ptr<CDevice> OpenDrive(char letter, std::string* error) {
  letter = Upper(letter);
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Registered().find(letter);
    if (it != Registered().end() && it->second.memory) {
      return std::make_shared<CMemoryDevice>(it->second.memory);
    }
  }
  DriveInfo info;
  if (!FindDrive(letter, &info)) {
    if (error) *error = std::string("drive ") + letter + ": does not exist";
    return nullptr;
  }
  std::string reason;
  std::shared_ptr<CDevice> device = system_drives::OpenPath(info.devicePath, &reason);
  if (!device && error) *error = info.devicePath + ": " + reason;
  return device;
}

std::string GetVolumeFileSystemName(char letter) {
  DriveInfo info;
  if (!FindDrive(letter, &info)) return "";
  return info.fileSystem;
}
