#include "scan/NtfsScan.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/Diagnostics.h"
#include "platform/Text.h"
#include "scan/SignatureScan.h"
#include "volume/NTFSVolumeAccess.h"

namespace {

constexpr uint64_t kBitmapRecord = 6;
constexpr uint32_t kBitmapChunk = 65536;

std::string FormatPercent(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Walks the MFT from record 16, collecting every directory and every deleted file.
void WalkMFT(IScanProgress& dialog, ScanResults& session) {
  CNTFSVolume& volume = *session.ntfsVolume;
  // Records past what the MFT's runs map, or past the device, cannot be read:
  // a damaged size field must not send the walk through billions of them.
  uint64_t mftBytes = volume.GetMFTDataAttr()->GetReadableSize();
  DiskGeometry geometry;
  if (volume.GetDeviceHandle()->GetGeometry(&geometry)) mftBytes = std::min(mftBytes, geometry.diskSize);
  const uint64_t recordCount = mftBytes / volume.GetFileRecordSize();
  const CProgressScale progress(recordCount);
  dialog.SetRange(0, progress(recordCount));

  session.recordPrototype = std::make_unique<CFileRecord>(&volume);
  CFileRecord record(*session.recordPrototype);
  record.SetAttrMask(kMaskScan);

  uint64_t lastShown = 0;
  std::u16string name;
  for (uint64_t n = 16; n < recordCount && !dialog.IsCancelled() && !DeviceGivenUp(session); ++n) {
    const uint64_t perMille = (n + 1) * 1000 / recordCount;
    if (perMille != lastShown) {
      lastShown = perMille;
      dialog.SetPercentText(FormatPercent("%.1f%%", static_cast<double>(perMille) / 10.0));
      dialog.SetPos(progress(n + 1));
    }
    if (!record.ReadRecord(n)) {
      if (!record.GetLastError().empty()) ReportRejected(record.GetLastError());
      continue;
    }
    const uint16_t flags = record.GetRecordFlags();
    const bool isDirectory = flags & kRecordIsDirectory;
    if ((flags & kRecordInUse) && !isDirectory) continue;
    if (!record.ParseAttrs()) {
      ReportRejected(record.GetLastError());
      continue;
    }
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

void PruneDirectories(ScanResults& session) {
  for (auto it = session.directories.begin(); it != session.directories.end();) {
    it = it->second.onPath ? std::next(it) : session.directories.erase(it);
  }
}

}  // namespace

std::vector<uint8_t> ReadVolumeBitmap(CNTFSVolume& volume, std::string* why) {
  CNtfsBitmapPages pages(volume, why);
  if (!pages.Holds()) return {};
  std::vector<uint8_t> bitmap(pages.ByteCount(), 0);
  for (uint64_t offset = 0; offset < bitmap.size(); offset += kBitmapChunk) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kBitmapChunk, bitmap.size() - offset));
    if (!pages.Read(offset, bitmap.data() + offset, want)) {
      *why = "its data cannot be read at byte " + std::to_string(offset);
      return {};
    }
  }
  return bitmap;
}

CNtfsBitmapPages::CNtfsBitmapPages(CNTFSVolume& volume, std::string* why)
    : m_record(std::make_unique<CFileRecord>(&volume)) {
  m_record->SetAttrMask(kMaskData);
  if (!m_record->ReadRecord(kBitmapRecord) || !m_record->ParseAttrs()) {
    *why = m_record->GetLastError().empty() ? "its record cannot be read" : m_record->GetLastError().Text();
    return;
  }
  CAttrBase* data = m_record->FindUnnamedData();
  if (data == nullptr) {
    *why = "its record holds no data stream";
    return;
  }
  m_size = data->GetDataSize();
  // One bit per cluster: a bitmap larger than the volume's clusters need is damaged.
  const uint64_t clusters = volume.GetTotalSectors() / volume.GetSectorsPerCluster();
  DiskGeometry geometry;
  if (m_size > clusters / 8 + kBitmapChunk ||
      (volume.GetDeviceHandle()->GetGeometry(&geometry) && m_size > geometry.diskSize)) {
    *why = "its size " + std::to_string(m_size) + " is more than " + std::to_string(clusters) + " clusters need";
    return;
  }
  m_data = data;
}

bool CNtfsBitmapPages::Read(uint64_t offset, uint8_t* out, uint32_t want) {
  uint32_t got = 0;
  return m_data != nullptr && m_data->ReadData(offset, out, want, &got) && got == want;
}

CNtfsBitmapPages::~CNtfsBitmapPages() = default;

bool CNtfsBitmapPages::IsUsed(uint64_t cluster) {
  const uint64_t byte = cluster / 8;
  if (m_data == nullptr || byte >= m_size) return true;
  const uint64_t start = byte / kBitmapChunk * kBitmapChunk;
  if (start != m_pageStart) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kBitmapChunk, m_size - start));
    m_page.assign(want, 0);
    m_pageStart = UINT64_MAX;
    if (!Read(start, m_page.data(), want)) return true;
    m_pageStart = start;
  }
  return (m_page[byte - start] >> (cluster % 8)) & 1;
}

namespace {

class CNtfsScan : public CVolumeScan {
 public:
  explicit CNtfsScan(std::unique_ptr<CNTFSVolume> volume) : m_volume(std::move(volume)), m_view(m_volume.get()) {}

  // The MFT walk first: it takes seconds where carving a large disk takes
  // hours, so a scan cancelled while carving keeps every file with its name.
  void Run(IScanProgress& dialog, ScanResults& results) override {
    for (const std::string& note : m_volume->GetNotes()) results.notes.push_back(note);
    results.ntfsVolume = std::move(m_volume);
    WalkMFT(dialog, results);
    for (size_t i = 0; i < results.foundFiles.size(); ++i) {
      EnsureDirectoryPath(results, results.foundFiles[i].parentRef);
    }
    PruneDirectories(results);
    if (results.recoveryMode == ModeUniversal) CarveFreeSpace(dialog, results);
  }

  void CarveFreeSpace(IScanProgress& dialog, ScanResults& results) override {
    dialog.SetTitle("正在初始化,请等待......");
    std::string why;
    std::vector<uint8_t> bitmap = ReadVolumeBitmap(*m_view, &why);
    if (bitmap.empty()) {
      // Free clusters cannot be told from used ones: every cluster is searched.
      results.notes.push_back("The volume bitmap ($Bitmap) cannot be read (" + why +
                              "): every cluster is searched for files");
      DiagnosticPrintf("%s\n", results.notes.back().c_str());
    }
    ShowSearchTitle(dialog, results);
    const NtfsGeometry geometry{m_view->GetBytesPerSector(), m_view->GetSectorsPerCluster(),
                                m_view->GetTotalSectors()};
    auto access = std::make_unique<CNTFSVolumeAccess>(m_view->GetDeviceHandle(), geometry, std::move(bitmap));
    CNTFSVolumeAccess* ntfs = access.get();
    results.volumeAccess = std::move(access);
    ScanFreeSpace(dialog, results, *ntfs, nullptr);
    ntfs->ReleaseBitmap();
  }

 private:
  std::unique_ptr<CNTFSVolume> m_volume;  // until the results own it
  CNTFSVolume* m_view;                    // the volume, wherever it is owned
};

}  // namespace

void EnsureDirectoryPath(ScanResults& session, uint64_t parentRef) {
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


std::unique_ptr<CVolumeScan> OpenNtfsScan(std::shared_ptr<CDevice> device, std::string* why) {
  auto volume = std::make_unique<CNTFSVolume>(std::move(device));
  if (!volume->IsVolumeOK()) {
    *why = volume->GetOpenError().empty() ? "MFT cannot be read" : volume->GetOpenError();
    return nullptr;
  }
  return std::make_unique<CNtfsScan>(std::move(volume));
}
