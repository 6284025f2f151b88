#include "scan/ScanThread.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/Text.h"

namespace {

std::string FormatPercent(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Walks the MFT from record 16, collecting every directory and every deleted file.
void WalkMFT(IScanProgress& dialog, ScanSession& session) {
  CNTFSVolume& volume = *session.ntfsVolume;
  // Records past what the MFT's runs map, or past the device, cannot be read:
  // a damaged size field must not send the walk through billions of them.
  uint64_t mftBytes = volume.GetMFTDataAttr()->GetReadableSize();
  DiskGeometry geometry;
  if (volume.GetDeviceHandle()->GetGeometry(&geometry)) mftBytes = std::min(mftBytes, geometry.diskSize);
  const uint64_t recordCount = mftBytes / volume.GetFileRecordSize();
  dialog.SetRange(0, Low32(recordCount));

  session.recordPrototype = std::make_unique<CFileRecord>(&volume);
  CFileRecord record(*session.recordPrototype);
  record.SetAttrMask(kMaskScan);

  uint64_t lastShown = 0;
  std::u16string name;
  for (uint64_t n = 16; n < recordCount && !dialog.IsCancelled(); ++n) {
    const uint64_t perMille = (n + 1) * 1000 / recordCount;
    if (perMille != lastShown) {
      lastShown = perMille;
      dialog.SetPercentText(FormatPercent("%.1f%%", static_cast<double>(perMille) / 10.0));
      dialog.SetPos(Low32(n + 1));
    }
    if (!record.ReadRecord(n)) continue;
    const uint16_t flags = record.GetRecordFlags();
    const bool isDirectory = flags & kRecordIsDirectory;
    if ((flags & kRecordInUse) && !isDirectory) continue;
    if (!record.ParseAttrs()) continue;
    if (record.GetFileName(&name) == 0) continue;
    const std::string utf8 = Utf16ToUtf8(name.data(), name.size());

    if (isDirectory) {
      DirectoryInfo& dir = session.directories[n];
      dir = DirectoryInfo{static_cast<uint8_t>((flags & kRecordInUse) ? 0 : 1),
                          record.GetParentRef(), utf8, 0};
      continue;
    }
    FoundFile file;
    file.id = n;
    file.parentRef = record.GetParentRef();
    file.name = utf8;
    file.time = record.GetFileTime();
    file.utcTime = record.GetFileTimeUtc();
    file.size = record.GetFileSize();
    if (file.size == 0) {
      if (CAttrBase* data = record.FindUnnamedData()) file.size = data->GetDataSize();
    }
    file.kind = FoundKind::Ntfs;
    session.foundFiles.push_back(std::move(file));
  }
}

void PruneDirectories(ScanSession& session) {
  for (auto it = session.directories.begin(); it != session.directories.end();) {
    it = it->second.onPath ? std::next(it) : session.directories.erase(it);
  }
}

}  // namespace

void EnsureDirectoryPath(ScanSession& session, uint64_t parentRef) {
  // Each step marks one entry, so the walk ends after at most one lap of any cycle.
  std::vector<uint64_t> marked;
  for (;;) {
    const uint64_t key = Low32(parentRef);
    if (key == kRootDirectoryId) return;
    auto it = session.directories.find(key);
    if (it == session.directories.end()) {
      ++session.placeholderCount;
      session.directories[key] =
          DirectoryInfo{0, kPlaceholderParentId, "dir" + std::to_string(session.placeholderCount), 1};
      return;
    }
    if (it->second.onPath) {
      // A chain that comes back to a directory marked by this very walk is a
      // cycle that never reaches the root: hang it under the found files, so
      // that its files are shown.
      if (std::find(marked.begin(), marked.end(), key) != marked.end()) it->second.parentRef = kPlaceholderParentId;
      return;
    }
    it->second.onPath = 1;
    marked.push_back(key);
    parentRef = it->second.parentRef;
  }
}

uint32_t ScanThreadProc(IScanProgress& dialog, ScanSession& session) {
  session.directories.clear();
  session.foundFiles.clear();
  auto volume = std::make_unique<CNTFSVolume>(session.selectedDrive);
  if (!volume->IsVolumeOK()) {
    session.resultSource = SourceFat32;
    RunSignatureScan(dialog, session);
    if (!dialog.IsCancelled()) dialog.OnOK();
    return 0;
  }
  if (session.recoveryMode == ModeUniversal) RunSignatureScan(dialog, session);
  session.ntfsVolume = std::move(volume);
  WalkMFT(dialog, session);
  for (size_t i = 0; i < session.foundFiles.size(); ++i) {
    EnsureDirectoryPath(session, session.foundFiles[i].parentRef);
  }
  PruneDirectories(session);
  if (!dialog.IsCancelled()) dialog.OnOK();
  return 0;
}
