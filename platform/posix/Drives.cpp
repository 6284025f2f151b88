#include <blkid/blkid.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/Drives.h"
#include "platform/MemoryDevice.h"
#include "platform/posix/PosixDevice.h"

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

std::string ReadSysfsLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// Maps libblkid's names to the names Windows gives the same file systems.
std::string WindowsFileSystemName(const std::string& type, const std::string& version) {
  if (type == "ntfs") return "NTFS";
  if (type == "exfat") return "exFAT";
  if (type == "vfat") return version == "FAT32" ? "FAT32" : "FAT";
  return "";
}

std::string ProbeFileSystem(const std::string& path) {
  blkid_probe probe = blkid_new_probe_from_filename(path.c_str());
  if (probe == nullptr) return "";
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
  std::string type, version;
  if (blkid_do_safeprobe(probe) == 0) {
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value) type = value;
    if (blkid_probe_lookup_value(probe, "VERSION", &value, nullptr) == 0 && value) version = value;
  }
  blkid_free_probe(probe);
  return WindowsFileSystemName(type, version);
}

bool IsSkippedDeviceName(const std::string& name) {
  static const char* const kPrefixes[] = {"loop", "ram", "zram", "sr", "fd"};
  return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                     [&](const char* p) { return name.rfind(p, 0) == 0; });
}

// Whole disks and partitions from sysfs, without the device types a user never recovers from.
std::vector<DriveInfo> SystemBlockDevices() {
  std::vector<DriveInfo> out;
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/block", ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (IsSkippedDeviceName(name)) continue;
    const std::filesystem::path sys = std::filesystem::path("/sys/class/block") / name;
    const std::string sizeText = ReadSysfsLine(sys / "size");
    if (sizeText.empty() || sizeText == "0") continue;
    // A partition's removable flag lives on its parent disk.
    std::filesystem::path disk = sys;
    if (std::filesystem::exists(sys / "partition")) {
      disk = std::filesystem::canonical(sys, ec).parent_path();
    }
    DriveInfo info;
    info.devicePath = "/dev/" + name;
    info.type = ReadSysfsLine(disk / "removable") == "1" ? DriveType::Removable : DriveType::Fixed;
    // sysfs counts 512-byte units whatever the device's sector size.
    info.totalSize = std::stoull(sizeText) * 512ULL;
    info.fileSystem = ProbeFileSystem(info.devicePath);
    out.push_back(info);
  }
  return out;
}

bool IsTaken(char letter, const std::vector<DriveInfo>& drives) {
  return std::any_of(drives.begin(), drives.end(),
                     [&](const DriveInfo& d) { return d.letter == letter; });
}

// Block devices take letters from C upwards, skipping letters given to images.
std::vector<DriveInfo> AllDrivesLocked() {
  std::vector<DriveInfo> drives;
  for (const auto& [letter, reg] : Registered()) drives.push_back(reg.info);
  char next = 'C';
  for (DriveInfo device : SystemBlockDevices()) {
    const bool already = std::any_of(drives.begin(), drives.end(), [&](const DriveInfo& d) {
      return d.devicePath == device.devicePath;
    });
    if (already) continue;
    while (next <= 'Z' && IsTaken(next, drives)) ++next;
    if (next > 'Z') break;
    device.letter = next++;
    drives.push_back(device);
  }
  std::sort(drives.begin(), drives.end(),
            [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
  return drives;
}

char FreeImageLetterLocked() {
  // Images get letters from the far end so block devices keep theirs stable.
  for (char c = 'Z'; c >= 'D'; --c) {
    if (Registered().count(c) == 0) return c;
  }
  return 0;
}

}  // namespace

bool RegisterImage(const std::string& imageArgument, std::string* error, char* letterOut) {
  std::string path = imageArgument;
  char letter = 0;
  const size_t eq = imageArgument.rfind('=');
  if (eq != std::string::npos && eq + 2 == imageArgument.size() && std::isalpha(static_cast<unsigned char>(imageArgument[eq + 1]))) {
    path = imageArgument.substr(0, eq);
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(imageArgument[eq + 1])));
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    if (error) *error = path + ": not a disk image or block device";
    return false;
  }
  std::string openError;
  std::shared_ptr<CPosixDevice> device = CPosixDevice::Open(path, &openError);
  if (!device) {
    if (error) *error = path + ": " + openError;
    return false;
  }
  DiskGeometry geometry;
  device->GetGeometry(&geometry);

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
  reg.info.fileSystem = ProbeFileSystem(path);
  reg.info.isImage = S_ISREG(st.st_mode);
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
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
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
  return false;
}

std::shared_ptr<CDevice> OpenDrive(char letter, std::string* error) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
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
  std::shared_ptr<CDevice> device = CPosixDevice::Open(info.devicePath, &reason);
  if (!device && error) *error = info.devicePath + ": " + reason;
  return device;
}

std::string GetVolumeFileSystemName(char letter) {
  DriveInfo info;
  if (!FindDrive(letter, &info)) return "";
  return info.fileSystem;
}
