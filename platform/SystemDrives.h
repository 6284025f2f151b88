#pragma once
// What each operating system gives the drive table: its own drives, how a
// path is opened for reading, and which file system a device holds.

#include <memory>
#include <string>
#include <vector>

#include "platform/Drives.h"

namespace system_drives {
// The system's drives. Where the system names drives by letter they come
// with it; elsewhere the letter is 0 and the table gives one.
std::vector<DriveInfo> List();
// True when the system itself uses the letter, so no image may take it.
bool LetterInUse(char letter);
// A drive the system has under this letter although List leaves it out
// (Wine's device links, for one); false when there is none.
bool Unlisted(char letter, DriveInfo* info);
// Whether path names an image file or a block device; false with a reason otherwise.
bool InspectImagePath(const std::string& path, bool* isRegularFile, std::string* error);
std::shared_ptr<CDevice> OpenPath(const std::string& path, std::string* error);
// "NTFS", "FAT32", "FAT", "exFAT" or empty, as Windows names them.
std::string ProbeFileSystem(const std::string& path);
}  // namespace system_drives
