#pragma once
// The drive table: block devices and registered image files, each under a
// drive letter, as the rest of the program expects drives to be named.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Device.h"

// Other covers the drives the program never offers: network, CD-ROM, RAM disks.
enum class DriveType { Fixed, Removable, Other };

struct DriveInfo {
  char letter = 0;
  std::string devicePath;
  DriveType type = DriveType::Fixed;
  std::string fileSystem;  // "NTFS", "FAT32", "FAT", "exFAT" or empty
  uint64_t totalSize = 0;
  bool isImage = false;
  // Where the drive lies on a partitioned disk or image: the partition's
  // number as Linux numbers it, 0 for the space outside every partition,
  // -1 for a drive that is a whole disk or volume.
  int partition = -1;
  uint64_t offset = 0;     // bytes from the start of its disk
  std::string container;   // "EWF", "VHD", "VHDX", "VMDK", "QCOW2"; empty for a raw image or device
  std::string note;        // what reading its disk's partition table found wrong, if anything
};

// The device as a person reads it: the path, and which part of it.
std::string DriveDeviceText(const DriveInfo& drive);

// Registers "PATH" or "PATH=LETTER": a drive for a disk without a partition
// table, else one for each partition and one for the space outside them when
// that is over 1 MiB. LETTER goes to the first; lettersOut gets them all.
// False with a reason when the path cannot be used or the letter is taken.
bool RegisterImage(const std::string& imageArgument, std::string* error, char* letterOut = nullptr,
                   std::vector<char>* lettersOut = nullptr);
// Registers bytes held in memory as a drive (tests, fuzzing).
bool RegisterMemoryImage(char letter, std::shared_ptr<const std::vector<uint8_t>> bytes,
                         const std::string& fileSystem = "");
// Forgets the drive, and every other drive registered with it from one image.
void ForgetDrive(char letter);

// Every drive: block devices found on the system plus registered images.
std::vector<DriveInfo> ListDrives();
bool FindDrive(char letter, DriveInfo* info);

// Opens a drive for reading only. Null with the operating system's reason on failure.
std::shared_ptr<CDevice> OpenDrive(char letter, std::string* error);

// The file-system name as Windows reports it for the drive's root; empty when unknown.
std::string GetVolumeFileSystemName(char letter);
