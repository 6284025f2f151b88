#include "app/DriveRows.h"

#include <algorithm>
#include <cstdio>

// Gibibytes with two decimals; a drive or image below one gibibyte in
// mebibytes (or kilobytes), so that a small card does not read "0.00G".
std::string FormatGibibytes(double bytes) {
  char text[64];
  if (bytes >= 1073741824.0) {
    std::snprintf(text, sizeof text, "%.2fG", bytes / 1073741824.0);
  } else if (bytes >= 1048576.0) {
    std::snprintf(text, sizeof text, "%.1fM", bytes / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%.1fKB", bytes / 1024.0);
  }
  return text;
}

std::vector<DriveRow> MakeDriveRows(const std::vector<DriveInfo>& drives) {
  std::vector<DriveInfo> sorted;
  for (const DriveInfo& d : drives) {
    if (d.type == DriveType::Fixed || d.type == DriveType::Removable) sorted.push_back(d);
  }
  std::sort(sorted.begin(), sorted.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
  std::vector<DriveRow> rows;
  for (const DriveInfo& d : sorted) {
    DriveRow row;
    row.letter = d.letter;
    row.letterText = std::string(1, d.letter) + ":";
    row.fileSystem = d.fileSystem;
    if (d.totalSize) row.sizeText = FormatGibibytes(static_cast<double>(d.totalSize));
    // The window speaks Chinese; the CLI keeps the device's own text.
    row.devicePath = d.partition == 0 ? d.devicePath + " (分区以外的空间)" : DriveDeviceText(d);
    rows.push_back(row);
  }
  return rows;
}

std::vector<DriveInfo> DrivesOfLetters(const std::vector<char>& letters) {
  std::vector<DriveInfo> drives;
  for (char letter : letters) {
    DriveInfo drive;
    if (FindDrive(letter, &drive)) drives.push_back(drive);
  }
  return drives;
}

bool LooksLikeDiskImage(const std::vector<DriveInfo>& drivesOfOneImage) {
  constexpr uint64_t kSector = 512;
  for (const DriveInfo& d : drivesOfOneImage) {
    if (!d.isImage || d.partition >= 0 || !d.container.empty() || !d.fileSystem.empty()) return true;
    if (d.totalSize != 0 && d.totalSize % kSector == 0) return true;
  }
  return false;
}
