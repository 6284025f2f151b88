#pragma once
// Which whole disks a block device or a folder lies on, as sysfs and the
// mount table tell: partitions lead to their disk, device-mapper, LVM and md
// devices to the disks of their members, btrfs to the disks of its devices.
// The roots are parameters so that tests can give a made-up system.

#include <set>
#include <string>

struct DiskTopology {
  std::string sysfs = "/sys";
  std::string mountinfo = "/proc/self/mountinfo";
};

// Disk names as sysfs gives them ("sda", "nvme0n1"); empty when unknown.
std::set<std::string> DisksBeneathDevice(const DiskTopology& system, unsigned major, unsigned minor);
std::set<std::string> DisksBeneathPath(const DiskTopology& system, const std::string& path);
// The same for a file system by its device number (st_dev) and a canonical path on it.
std::set<std::string> DisksBeneathFileSystem(const DiskTopology& system, unsigned major, unsigned minor,
                                             const std::string& where);
