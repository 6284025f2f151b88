#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/DiskTopology.h"
#include "support/Fixtures.h"

namespace fs = std::filesystem;

namespace {

// A made-up sysfs laid out as Linux lays it out: devices under devices/,
// linked from class/block/NAME and dev/block/MAJOR:MINOR, partitions inside
// their disk's folder, stacked devices naming their members in slaves/.
class FakeSystem {
 public:
  FakeSystem() : m_root(MakeTempFolder()) { m_system = {m_root + "/sys", m_root + "/mountinfo"}; }

  void Device(const std::string& place, const std::string& number) {
    const fs::path node = fs::path(m_system.sysfs) / "devices" / place;
    fs::create_directories(node);
    const std::string name = node.filename().string();
    if (node.parent_path().filename() != "block") std::ofstream(node / "partition") << "1\n";
    Link(fs::path(m_system.sysfs) / "class/block" / name, node);
    Link(fs::path(m_system.sysfs) / "dev/block" / number, node);
  }
  void Slave(const std::string& place, const std::string& member) {
    const fs::path node = fs::path(m_system.sysfs) / "devices" / place;
    Link(node / "slaves" / member, fs::canonical(fs::path(m_system.sysfs) / "class/block" / member));
  }
  void BtrfsMember(const std::string& uuid, const std::string& member) {
    Link(fs::path(m_system.sysfs) / "fs/btrfs" / uuid / "devices" / member,
         fs::canonical(fs::path(m_system.sysfs) / "class/block" / member));
  }
  void Mounts(const std::string& text) { std::ofstream(m_system.mountinfo) << text; }
  const DiskTopology& System() const { return m_system; }

 private:
  static void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(target, link);
  }
  std::string m_root;
  DiskTopology m_system;
};

using Disks = std::set<std::string>;

TEST(DiskTopology, EveryLayoutLeadsToTheDisksBeneath) {
  FakeSystem s;
  s.Device("pci/block/sda", "8:0");
  s.Device("pci/block/sda/sda1", "8:1");
  s.Device("pci/block/sda/sda2", "8:2");
  s.Device("pci/block/sdb", "8:16");
  s.Device("pci/block/sdc", "8:32");
  s.Device("pci/block/sdc/sdc1", "8:33");
  s.Device("virtual/block/md0", "9:0");       // RAID 1 of sdb and sdc1
  s.Slave("virtual/block/md0", "sdb");
  s.Slave("virtual/block/md0", "sdc1");
  s.Device("virtual/block/dm-0", "253:0");    // LVM volume on sda2 and md0
  s.Slave("virtual/block/dm-0", "sda2");
  s.Slave("virtual/block/dm-0", "md0");
  s.BtrfsMember("1234-abcd", "sda1");         // btrfs over sda1 and sdb
  s.BtrfsMember("1234-abcd", "sdb");
  s.Mounts("30 1 0:45 / /srv/data rw - btrfs /dev/sda1 rw\n"
           "31 1 0:46 / /srv/data\\040two rw - btrfs /dev/sdc1 rw\n"
           "32 1 0:40 / / rw - overlay overlay rw\n");

  EXPECT_EQ(DisksBeneathDevice(s.System(), 8, 0), Disks({"sda"})) << "a whole disk";
  EXPECT_EQ(DisksBeneathDevice(s.System(), 8, 1), Disks({"sda"})) << "a partition: its disk";
  EXPECT_EQ(DisksBeneathDevice(s.System(), 9, 0), Disks({"sdb", "sdc"})) << "md: its members' disks";
  EXPECT_EQ(DisksBeneathDevice(s.System(), 253, 0), Disks({"sda", "sdb", "sdc"})) << "LVM over a partition and md";
  EXPECT_EQ(DisksBeneathDevice(s.System(), 7, 0), Disks()) << "a device sysfs does not know";
  EXPECT_EQ(DisksBeneathFileSystem(s.System(), 0, 45, "/srv/data/recovered"), Disks({"sda", "sdb"}))
      << "btrfs: the disks of every device it spans";
  EXPECT_EQ(DisksBeneathFileSystem(s.System(), 0, 46, "/srv/data two/x"), Disks({"sdc"}))
      << "a mount point with a space, escaped in the mount table";
  EXPECT_EQ(DisksBeneathFileSystem(s.System(), 0, 40, "/home"), Disks()) << "overlay lies on no block device";
  EXPECT_EQ(DisksBeneathFileSystem(s.System(), 8, 2, "/anything"), Disks({"sda"}));
}

TEST(DiskTopology, StackedDevicesThatLoopEndWithoutHang) {
  FakeSystem s;
  s.Device("virtual/block/dm-0", "253:0");
  s.Device("virtual/block/dm-1", "253:1");
  s.Slave("virtual/block/dm-0", "dm-1");
  s.Slave("virtual/block/dm-1", "dm-0");
  EXPECT_EQ(DisksBeneathDevice(s.System(), 253, 0), Disks());
}

}  // namespace
