// The drive table shared by every system: registered images and in-memory
// drives, and the system's own drives, each under one letter.

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <mutex>

#include "platform/BootSector.h"
#include "platform/Containers.h"
#include "platform/Drives.h"
#include "platform/GzipImage.h"
#include "platform/MemoryDevice.h"
#include "platform/PartitionDevice.h"
#include "platform/SystemDrives.h"

namespace {

// Opens the disk an image holds: the file itself, its unpacked bytes, or the
// container read through its library.
using DiskOpener = std::function<std::shared_ptr<CDevice>(std::string* error)>;

struct RegisteredDrive {
  DriveInfo info;
  DiskOpener openDisk;
  std::vector<DiskExtent> extents;  // the part of the disk the drive is; empty for all of it
  int image = 0;                    // drives registered together from one image share this
};

// Partitions and the space between them start at offsets of their own; the space
// outside every partition is offered only when there is something worth carving.
constexpr uint64_t kMinimumOutsideSpace = 1u << 20;
constexpr uint64_t kSmallestDisk = 512;

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

// Images get letters from the far end so the system's drives keep theirs
// stable; the letters come back in ascending order.
std::vector<char> FreeImageLettersLocked(size_t count, char besides) {
  std::vector<char> letters;
  for (char c = 'Z'; c >= 'D' && letters.size() < count; --c) {
    if (c != besides && Registered().count(c) == 0 && !system_drives::LetterInUse(c)) letters.push_back(c);
  }
  std::reverse(letters.begin(), letters.end());
  return letters;
}

char Upper(char letter) { return static_cast<char>(std::toupper(static_cast<unsigned char>(letter))); }

int NextImageNumber() {
  static int next = 0;
  return ++next;
}

std::string FileSystemAt(CDevice& device) {
  std::vector<uint8_t> sector(4096);
  uint32_t got = 0;
  if (!device.ReadAt(0, sector.data(), static_cast<uint32_t>(sector.size()), &got)) return "";
  return FileSystemOfBootSector(sector.data(), got);
}

// The disk behind the path: unpacked when gzip, opened by its library when a
// container, else the file or device itself.
bool OpenImageDisk(const std::string& path, bool isRegularFile, DiskOpener* opener, std::string* container,
                   bool* readAsIs, std::string* error) {
  *readAsIs = false;
  std::string reason;
  std::shared_ptr<CDevice> file = system_drives::OpenPath(path, &reason);
  if (!file) {
    *error = path + ": " + reason;
    return false;
  }
  DiskGeometry geometry;
  file->GetGeometry(&geometry);
  if (isRegularFile && IsGzipImage(*file)) {
    std::shared_ptr<const std::vector<uint8_t>> unpacked = UnpackGzipImage(*file, geometry.diskSize, &reason);
    if (!unpacked) {
      *error = path + ": " + reason;
      return false;
    }
    *opener = [unpacked](std::string*) { return std::make_shared<CMemoryDevice>(unpacked); };
    return true;
  }
  *container = isRegularFile ? SniffContainer(*file) : "";
  if (!container->empty()) {
    std::shared_ptr<CDevice> disk = OpenContainer(*container, path, &reason);
    if (!disk) {
      *error = path + ": " + reason;
      return false;
    }
    // One open handle serves every drive of the image; each gets a view with a position of its own.
    *opener = [disk](std::string*) -> std::shared_ptr<CDevice> {
      DiskGeometry g;
      disk->GetGeometry(&g);
      return std::make_shared<CPartitionDevice>(disk, 0, g.diskSize);
    };
    return true;
  }
  *readAsIs = true;
  *opener = [path](std::string* why) -> std::shared_ptr<CDevice> {
    std::string reason;
    std::shared_ptr<CDevice> device = system_drives::OpenPath(path, &reason);
    if (!device && why) *why = path + ": " + reason;
    return device;
  };
  return true;
}

RegisteredDrive PartDrive(const DriveInfo& disk, const DiskOpener& opener, std::vector<DiskExtent> extents,
                          int number, std::shared_ptr<CDevice> diskDevice) {
  RegisteredDrive reg;
  reg.info = disk;
  reg.info.partition = number;
  reg.info.offset = extents.empty() ? 0 : extents.front().offset;
  reg.openDisk = opener;
  CPartitionDevice view(std::move(diskDevice), extents);
  DiskGeometry geometry;
  view.GetGeometry(&geometry);
  reg.info.totalSize = geometry.diskSize;
  // The space between partitions holds no file system of its own, whatever its first bytes say.
  reg.info.fileSystem = number == 0 ? "" : FileSystemAt(view);
  reg.extents = std::move(extents);
  return reg;
}

// The drives of one image: the whole disk, or its partitions and the space outside them.
bool DrivesOfImage(const std::string& path, bool isRegularFile, std::vector<RegisteredDrive>* drives,
                   std::string* error) {
  DiskOpener opener;
  std::string container;
  bool readAsIs = false;
  if (!OpenImageDisk(path, isRegularFile, &opener, &container, &readAsIs, error)) return false;
  std::shared_ptr<CDevice> disk = opener(error);
  if (!disk) return false;
  DiskGeometry geometry;
  disk->GetGeometry(&geometry);
  // Not even one sector: nothing a scan could find, so say so instead of showing an empty result.
  if (geometry.diskSize < kSmallestDisk) {
    if (error) {
      *error = path + (geometry.diskSize == 0 ? std::string(" is empty (0 bytes)")
                                              : " holds only " + std::to_string(geometry.diskSize) +
                                                    " bytes, less than one sector");
    }
    return false;
  }
  DriveInfo base;
  base.devicePath = path;
  base.type = DriveType::Fixed;
  base.totalSize = geometry.diskSize;
  base.isImage = isRegularFile;
  base.container = container;

  PartitionTable table;
  std::string tableError;
  if (!ReadPartitionTable(*disk, &table, &tableError)) base.note = tableError;
  if (table.partitions.empty()) {
    RegisteredDrive whole;
    whole.info = base;
    whole.openDisk = opener;
    whole.info.fileSystem = readAsIs ? system_drives::ProbeFileSystem(path) : FileSystemAt(*disk);
    drives->push_back(whole);
    return true;
  }
  for (const std::string& note : table.notes) base.note += (base.note.empty() ? "" : "; ") + note;
  for (const PartitionInfo& p : table.partitions) {
    drives->push_back(PartDrive(base, opener, {{p.offset, p.size}}, p.number, disk));
    if (!p.cut) continue;
    std::string& note = drives->back().info.note;
    note += (note.empty() ? "" : "; ") + std::string("the partition runs past the end of the disk: ") +
            std::to_string(p.size) + " of its " + std::to_string(p.tableSize) + " bytes are there";
  }
  const std::vector<DiskExtent> outside = SpaceOutsidePartitions(table.partitions, geometry.diskSize);
  uint64_t outsideBytes = 0;
  for (const DiskExtent& e : outside) outsideBytes += e.size;
  if (outsideBytes > kMinimumOutsideSpace) drives->push_back(PartDrive(base, opener, outside, 0, disk));
  return true;
}

}  // namespace

std::string DriveDeviceText(const DriveInfo& drive) {
  if (drive.partition > 0) return drive.devicePath + " #" + std::to_string(drive.partition);
  if (drive.partition == 0) return drive.devicePath + " (outside partitions)";
  return drive.devicePath;
}

bool RegisterImage(const std::string& imageArgument, std::string* error, char* letterOut,
                   std::vector<char>* lettersOut) {
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
  std::vector<RegisteredDrive> drives;
  if (!DrivesOfImage(path, isRegularFile, &drives, error ? error : &reason)) return false;

  std::lock_guard<std::mutex> lock(TableMutex());
  if (letter != 0 && Registered().count(letter) != 0) {
    if (error) *error = path + ": drive letter " + std::string(1, letter) + " is already in use";
    return false;
  }
  // The partitions of a disk take letters in their table's order.
  const size_t needed = drives.size() - (letter != 0 ? 1 : 0);
  std::vector<char> letters = FreeImageLettersLocked(needed, letter);
  if (letters.size() < needed) {
    if (error) *error = path + ": no drive letter is left for its " + std::to_string(drives.size()) + " drives";
    return false;
  }
  if (letter != 0) letters.insert(letters.begin(), letter);
  for (size_t i = 0; i < drives.size(); ++i) {
    drives[i].info.letter = letters[i];
    Registered()[letters[i]] = drives[i];
  }
  const int image = NextImageNumber();
  for (char l : letters) Registered()[l].image = image;
  if (letterOut) *letterOut = letters.front();
  if (lettersOut) *lettersOut = letters;
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
  reg.openDisk = [bytes](std::string*) { return std::make_shared<CMemoryDevice>(bytes); };
  reg.image = NextImageNumber();
  Registered()[letter] = reg;
  return true;
}

void ForgetDrive(char letter) {
  std::lock_guard<std::mutex> lock(TableMutex());
  auto it = Registered().find(Upper(letter));
  if (it == Registered().end()) return;
  const int image = it->second.image;
  std::erase_if(Registered(), [&](const auto& entry) { return entry.second.image == image; });
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
  RegisteredDrive reg;
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Registered().find(letter);
    if (it != Registered().end()) reg = it->second;
  }
  if (reg.openDisk) {
    std::shared_ptr<CDevice> disk = reg.openDisk(error);
    if (!disk || reg.extents.empty()) return disk;
    return std::make_shared<CPartitionDevice>(disk, reg.extents);
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
