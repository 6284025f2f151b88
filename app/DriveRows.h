#pragma once
// The rows of the drive dialog, made from the platform's drive table.

#include <string>
#include <vector>

#include "platform/Drives.h"

struct DriveRow {
  char letter = 0;
  std::string letterText;  // "D:"
  std::string fileSystem;  // as the volume reports it; empty when unknown
  std::string sizeText;    // "465.76G"; empty when the size is unknown
  std::string devicePath;  // where the drive lies: device or image, and which partition of it
};

// Fixed and removable drives, in letter order.
std::vector<DriveRow> MakeDriveRows(const std::vector<DriveInfo>& drives);
// A byte count as gibibytes with two decimals and "G".
std::string FormatGibibytes(double bytes);
// The drives of the letters given (an image's, as RegisterImage hands them out), in that order.
std::vector<DriveInfo> DrivesOfLetters(const std::vector<char>& letters);
// Whether the drives one image file gave look like a disk: a file system or
// a partition table was found, it came out of a container, or it holds
// whole sectors. A photo or a document picked by mistake does not.
bool LooksLikeDiskImage(const std::vector<DriveInfo>& drivesOfOneImage);
