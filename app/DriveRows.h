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
