// The POSIX side of the drive table: block devices from sysfs, file systems
// by libblkid, devices opened read-only.

#include <blkid/blkid.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/SystemDrives.h"
#include "platform/posix/PosixDevice.h"

namespace {

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

std::string ProbeWithBlkid(const std::string& path) {
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
    info.fileSystem = ProbeWithBlkid(info.devicePath);
    out.push_back(info);
  }
  return out;
}

}  // namespace

namespace system_drives {

std::vector<DriveInfo> List() { return SystemBlockDevices(); }

bool LetterInUse(char) { return false; }

bool Unlisted(char, DriveInfo*) { return false; }

bool InspectImagePath(const std::string& path, bool* isRegularFile, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    if (error) *error = "not a disk image or block device";
    return false;
  }
  *isRegularFile = S_ISREG(st.st_mode);
  return true;
}

std::shared_ptr<CDevice> OpenPath(const std::string& path, std::string* error) {
  return CPosixDevice::Open(path, error);
}

std::string ProbeFileSystem(const std::string& path) { return ProbeWithBlkid(path); }

}  // namespace system_drives
