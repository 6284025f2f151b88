#include "app/ScanSession.h"

#include <algorithm>

#include "app/FolderTree.h"
#include "fat32/Folder.h"
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

size_t FoundFileCount(const ScanSession& session) {
  size_t count = session.foundFiles.size();
  std::vector<std::pair<const CFolderEntry*, int>> pending;
  if (session.rootFolder) pending.push_back({session.rootFolder.get(), 0});
  for (const auto& folder : session.foundFolders) pending.push_back({folder.get(), 0});
  // Folders nest no deeper than the tree shows them.
  constexpr int kMaxDepth = CFolderTree::kMaxDepth;
  while (!pending.empty()) {
    auto [folder, depth] = pending.back();
    pending.pop_back();
    count += folder->Files().size();
    if (depth >= kMaxDepth) continue;
    for (const CFolderEntry* sub : folder->SubFolders()) pending.push_back({sub, depth + 1});
  }
  return count;
}
