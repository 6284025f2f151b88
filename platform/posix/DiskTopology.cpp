#include "platform/posix/DiskTopology.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Stacks of device-mapper over md over partitions are a few levels deep; a
// deeper one is a loop in a made-up or damaged sysfs.
constexpr int kMaxDepth = 16;

void DisksBeneathNode(const DiskTopology& system, const fs::path& node, int depth, std::set<std::string>* disks) {
  std::error_code ec;
  const fs::path real = fs::canonical(node, ec);
  if (ec || depth > kMaxDepth) return;
  if (fs::exists(real / "partition", ec)) {
    DisksBeneathNode(system, real.parent_path(), depth + 1, disks);
    return;
  }
  bool stacked = false;
  for (const auto& slave : fs::directory_iterator(real / "slaves", ec)) {
    stacked = true;
    DisksBeneathNode(system, fs::path(system.sysfs) / "class/block" / slave.path().filename(), depth + 1, disks);
  }
  if (!stacked) disks->insert(real.filename().string());
}

struct Mount {
  std::string device;  // "major:minor"
  std::string point;
  std::string type;
  std::string source;
};

// mountinfo escapes spaces and the like as \ooo.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string digits = text.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::vector<Mount> ReadMounts(const std::string& mountinfo) {
  std::vector<Mount> mounts;
  std::ifstream in(mountinfo);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point, word;
    fields >> id >> parent >> device >> root >> point;
    while (fields >> word && word != "-") {}
    Mount m;
    m.device = device;
    m.point = Unescape(point);
    fields >> m.type >> m.source;
    m.source = Unescape(m.source);
    mounts.push_back(m);
  }
  return mounts;
}

bool Below(const std::string& path, const std::string& point) {
  if (point == "/") return true;
  return path.rfind(point, 0) == 0 && (path.size() == point.size() || path[point.size()] == '/');
}

// The block device named by a mount source, through sysfs: "/dev/sda2",
// "/dev/mapper/vg-home" (a link to a dm node) or "/dev/dm-0".
void DisksBeneathSource(const DiskTopology& system, const std::string& source, std::set<std::string>* disks) {
  std::error_code ec;
  fs::path device = source;
  if (fs::is_symlink(device, ec)) device = fs::canonical(device, ec);
  const std::string name = device.filename().string();
  if (name.empty()) return;
  DisksBeneathNode(system, fs::path(system.sysfs) / "class/block" / name, 0, disks);
}

}  // namespace

std::set<std::string> DisksBeneathDevice(const DiskTopology& system, unsigned major, unsigned minor) {
  std::set<std::string> disks;
  DisksBeneathNode(system, fs::path(system.sysfs) / "dev/block" / (std::to_string(major) + ":" + std::to_string(minor)),
                   0, &disks);
  return disks;
}

std::set<std::string> DisksBeneathPath(const DiskTopology& system, const std::string& path) {
  // The nearest existing ancestor tells which file system the path would land on.
  std::error_code ec;
  fs::path probe = fs::absolute(path.empty() ? "." : path, ec);
  struct stat st {};
  while (::stat(probe.c_str(), &st) != 0) {
    if (!probe.has_relative_path()) return {};
    probe = probe.parent_path();
  }
  return DisksBeneathFileSystem(system, ::major(st.st_dev), ::minor(st.st_dev), fs::canonical(probe, ec).string());
}

std::set<std::string> DisksBeneathFileSystem(const DiskTopology& system, unsigned major, unsigned minor,
                                             const std::string& where) {
  if (major != 0) return DisksBeneathDevice(system, major, minor);
  // Device numbers with major 0 are virtual (btrfs, for one): the mount table
  // names the device the file system was mounted from.
  std::error_code ec;
  const std::string number = std::to_string(major) + ":" + std::to_string(minor);
  const Mount* best = nullptr;
  const std::vector<Mount> mounts = ReadMounts(system.mountinfo);
  for (const Mount& m : mounts) {
    if (m.device == number && Below(where, m.point) && (!best || m.point.size() > best->point.size())) best = &m;
  }
  std::set<std::string> disks;
  if (!best) return disks;
  DisksBeneathSource(system, best->source, &disks);
  if (best->type == "btrfs") {
    // A btrfs file system may span devices; each one it lists is written to.
    const std::string sourceName = fs::path(best->source).filename().string();
    for (const auto& filesystem : fs::directory_iterator(fs::path(system.sysfs) / "fs/btrfs", ec)) {
      std::set<std::string> members;
      bool holdsSource = false;
      for (const auto& member : fs::directory_iterator(filesystem.path() / "devices", ec)) {
        members.insert(member.path().filename().string());
        holdsSource = holdsSource || member.path().filename() == sourceName;
      }
      if (!holdsSource) continue;
      for (const std::string& member : members) {
        DisksBeneathNode(system, fs::path(system.sysfs) / "class/block" / member, 0, &disks);
      }
    }
  }
  return disks;
}
