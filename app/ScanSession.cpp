#include "app/ScanSession.h"

#include <algorithm>

#include "platform/Drives.h"

ScanSession& TheSession() {
  static ScanSession session;
  return session;
}

bool OpenSelectedDrive(ScanSession& session, std::string* error) {
  session.device = OpenDrive(session.selectedDrive, error);
  session.volumeLabel = std::string(1, session.selectedDrive);
  if (session.device == nullptr) return false;
  // What the disk's partition table said of this drive (a partition cut short,
  // a damaged table) belongs with the results, as the scan's own notes do.
  DriveInfo drive;
  if (FindDrive(session.selectedDrive, &drive) && !drive.note.empty() &&
      std::find(session.notes.begin(), session.notes.end(), drive.note) == session.notes.end()) {
    session.notes.push_back(drive.note);
  }
  return true;
}

const char* ResultSourceName(int32_t source) {
  switch (source) {
    case SourceNtfs: return "ntfs";
    case SourceFat32: return "fat32";
    case SourceFat16: return "fat16";
    case SourceFat12: return "fat12";
    case SourceExfat: return "exfat";
    default: return "other";
  }
}
