#include "scan/SignatureScan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "fat32/ExFat.h"
#include "fat32/Folder.h"
#include "filetypes/CarvedFormats.h"
#include "filetypes/PieceSearch.h"
#include "platform/Diagnostics.h"
#include "scan/RunPrefetcher.h"
#include "volume/FAT32VolumeAccess.h"

const char* const kScanStoppedText = "扫描已取消, 空闲空间没有查找完。已经找到的文件仍然可以恢复。";

SignatureScanner::SignatureScanner(CVolumeAccess& access, ScanResults& session, CFolderLoader& loader)
    : m_access(access),
      m_session(session),
      m_loader(loader),
      m_unitCount(access.GetClusterCount()),
      m_endUnit(access.GetFirstCluster() + access.GetClusterCount()),
      m_progress(m_endUnit),
      m_unitSize(access.GetClusterSize()),
      m_sectorSize(access.GetSectorSize()),
      m_holder(access.GetSectorSize(), &access) {
  if (m_sectorSize == 0 || m_unitSize < m_sectorSize || m_unitSize % m_sectorSize != 0) return;
  m_sectorsPerUnit = m_unitSize / m_sectorSize;
  m_unitsPerRun = kRunSectors / m_sectorsPerUnit;
  if (m_unitsPerRun == 0) return;
  // A run never holds more than the volume: a small one needs small buffers.
  const uint64_t volumeBytes = m_unitCount * m_unitSize;
  m_runBufferSize = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(m_unitsPerRun) * m_unitSize,
                                                           std::max<uint64_t>(volumeBytes, m_unitSize)));
}

bool SignatureScanner::IsUsable(std::string* error) const {
  if (m_sectorsPerUnit != 0 && m_unitsPerRun != 0) return true;
  if (error) {
    *error = "the volume reports " + std::to_string(m_sectorSize) + "-byte sectors and " +
             std::to_string(m_unitSize) + "-byte units, which cannot be scanned";
  }
  return false;
}

void SignatureScanner::ProgressStep(IScanProgress& dialog, uint64_t unit) {
  if ((unit & 0x7FF) != 0) return;
  dialog.SetPos(m_progress(unit));
  char text[32];
  std::snprintf(text, sizeof text, "%.2f%%",
                static_cast<double>(static_cast<float>(static_cast<double>(unit) * 100.0 / static_cast<double>(m_endUnit))));
  dialog.SetPercentText(text);
}

void SignatureScanner::Run(IScanProgress& dialog) {
  const auto start = std::chrono::steady_clock::now();
  dialog.SetRange(0, m_progress(m_endUnit));
  uint64_t unit = std::max<uint64_t>(m_access.GetFirstCluster(), 1);
  while (unit < m_endUnit && m_access.IsClusterUsed(unit)) ++unit;
  if (unit < m_endUnit && !dialog.IsCancelled()) {
    // The next run is read while this one is scanned; sectors are still
    // offered in order, and the cancel flag is polled once per run.
    CRunPrefetcher prefetcher(m_access, m_runBufferSize);
    uint64_t last = FindRunEnd(dialog, unit);
    prefetcher.Start(unit, last);
    for (bool haveRun = true; haveRun;) {
      bool read = false;
      const uint8_t* data = prefetcher.Wait(&read);
      const uint64_t next = SkipUsedUnits(dialog, last);
      const bool haveNext = next < m_endUnit && !dialog.IsCancelled() && !DeviceGivenUp(m_session);
      const uint64_t nextLast = haveNext ? FindRunEnd(dialog, next) : 0;
      if (haveNext) prefetcher.Start(next, nextLast);
      ProcessRun(dialog, unit, last, data, read);
      haveRun = haveNext;
      unit = next;
      last = nextLast;
    }
  }
  m_holder.CutPending();
  JoinBrokenFiles(dialog);
  for (auto& file : m_holder.completed) AddCarvedFile(std::move(file));
  m_holder.completed.clear();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  DiagnosticPrintf("The run time is:%llds!\n", static_cast<long long>(seconds.count()));
  if (dialog.IsCancelled()) dialog.ShowMessage("扫描终止", kScanStoppedText);
  m_foundCount = 0;
}

// Files whose structure broke before their end are looked for in pieces in
// the free space after them, at the volume's cluster boundaries; on a volume
// of no known file system at 4 KiB, then at every sector.
void SignatureScanner::JoinBrokenFiles(IScanProgress& dialog) {
  const auto stop = [&] { return dialog.IsCancelled() || DeviceGivenUp(m_session); };
  std::vector<uint32_t> alignments{m_sectorsPerUnit};
  if (m_sectorsPerUnit == 1 && m_sectorSize < kRawPieceAlignment) {
    alignments.insert(alignments.begin(), kRawPieceAlignment / m_sectorSize);
  }
  CPieceSearch search(m_access, m_access.GetFirstCluster(), m_endUnit, m_sectorsPerUnit);
  JoinPieces(m_holder.completed, search, alignments, stop);
}

uint64_t SignatureScanner::FindRunEnd(IScanProgress& dialog, uint64_t unit) {
  for (uint32_t n = 0;;) {
    ProgressStep(dialog, unit);
    if (m_access.IsClusterUsed(unit)) return unit - 1;
    if (unit == m_endUnit - 1) return unit;
    ++n;
    ++unit;
    if (n == m_unitsPerRun) return unit - 1;
  }
}

uint64_t SignatureScanner::SkipUsedUnits(IScanProgress& dialog, uint64_t last) {
  uint64_t unit = last + 1;
  if (unit >= m_endUnit || !m_access.IsClusterUsed(unit)) return unit;
  while (unit < m_endUnit) {
    ProgressStep(dialog, unit);
    ++unit;
    if (unit == m_endUnit || !m_access.IsClusterUsed(unit)) break;
  }
  return unit;
}

void SignatureScanner::ProcessRun(IScanProgress& dialog, uint64_t first, uint64_t last, const uint8_t* data,
                                  bool read) {
  const size_t bytes = static_cast<size_t>(last - first + 1) * m_unitSize;
  // A run that cannot be read is skipped, and a file is not followed across it.
  if (!read) {
    m_holder.BeginRun({}, false);
    m_previousRunEnd = last;
    m_holder.runLimitSector = 0;
    return;
  }
  m_holder.runLimitSector = m_access.ClusterToSector(last);
  const ByteSpan run(data, bytes);
  m_holder.BeginRun(run, first == m_previousRunEnd + 1);
  m_previousRunEnd = last;
  const uint64_t firstSector = m_access.ClusterToSector(first);
  for (uint64_t k = 0; k <= last - first; ++k) {
    const ByteSpan unitData = run.subspan(static_cast<size_t>(k) * m_unitSize, m_unitSize);
    if (IsDirectoryCluster(first + k, unitData)) {
      m_holder.CutPending();
      continue;
    }
    for (uint32_t j = 0; j < m_sectorsPerUnit; ++j) {
      const uint64_t s = k * m_sectorsPerUnit + j;
      if (m_holder.Offer(static_cast<size_t>(s) * m_sectorSize, firstSector + s)) {
        ++m_foundCount;
        char text[48];
        std::snprintf(text, sizeof text, "找到%u个文件", m_foundCount);
        dialog.SetFoundText(text);
      }
    }
  }
  m_holder.EndRun();
}

bool SignatureScanner::IsDirectoryCluster(uint64_t unit64, ByteSpan data) {
  if (m_session.resultSource == SourceExfat) return IsExFatDirectoryCluster(unit64, data);
  // A directory cluster starts with its '.' entry: the one-byte test that
  // turns away almost every other unit. A '.' entry holds a 32-bit cluster.
  if (data.size() < 2 * kDirEntrySize || data[0] != '.' || unit64 > UINT32_MAX) return false;
  const uint32_t unit = static_cast<uint32_t>(unit64);
  const ByteSpan dot = data.subspan(0, kDirEntrySize);
  const ByteSpan dotDot = data.subspan(kDirEntrySize, kDirEntrySize);
  if (!IsDotEntry(dot) || !IsDotEntry(dotDot)) return false;
  if (EntryFirstCluster(dot) != unit || !HasDotEntryShape(dot) || LE8(dot, fatentry::kReserved) != 0) return false;
  if (!HasDotEntryShape(dotDot) || LE8(dotDot, fatentry::kReserved) != 0) return false;
  LoadFoundFolder<CRawFolder>(unit, data);
  return true;
}

// A directory cluster met in free space, unless the tree or an earlier one
// holds it, is loaded as a folder of its own and kept when it has content.
template <typename Folder>
void SignatureScanner::LoadFoundFolder(uint32_t unit, ByteSpan data) {
  std::vector<uint32_t>& known = m_session.directoryClusters;
  if (std::find(known.begin(), known.end(), unit) != known.end() || m_loader.loaded.count(unit) != 0) return;
  known.push_back(unit);
  const uint32_t number = static_cast<uint32_t>(m_session.foundFolders.size()) + 1;
  auto folder = std::make_unique<Folder>(data, unit, number);
  if (folder->Load(m_loader)) m_session.foundFolders.push_back(std::move(folder));
}

// exFAT folders have no '.' entry: a free cluster that starts with a whole
// entry set whose checksum holds is taken for one.
bool SignatureScanner::IsExFatDirectoryCluster(uint64_t unit64, ByteSpan data) {
  if (unit64 > UINT32_MAX || !CExFatFoundFolder::StartsWithEntrySet(data)) return false;
  LoadFoundFolder<CExFatFoundFolder>(static_cast<uint32_t>(unit64), data);
  return true;
}

void SignatureScanner::AddCarvedFile(std::unique_ptr<CBaseFile> file) {
  const int32_t type = file->typeCode;
  if (FindCarvedKind(type) == nullptr) return;
  if (m_session.directories.count(type) == 0) {
    m_session.directories[type] = DirectoryInfo{0, kTypeFoldersParentId, TypeFolderName(type), 1};
  }
  FoundFile found;
  found.id = m_session.carvedFiles.size();
  found.parentRef = static_cast<uint64_t>(type);
  found.name = CarvedFileName(type, file->firstSector, file->Extension());
  found.size = file->GetLength(m_sectorSize);
  found.kind = FoundKind::Carved;
  m_session.foundFiles.push_back(std::move(found));
  m_session.carvedFiles.push_back(std::move(file));
}

namespace {

class CFreeSpaceScan : public CVolumeScan {
 public:
  CFreeSpaceScan(std::unique_ptr<CVolumeAccess> access, CFAT32VolumeAccess* fat, std::vector<std::string> notes,
                 std::unique_ptr<CRootFolder> root, int32_t resultSource)
      : m_access(std::move(access)), m_fat(fat), m_notes(std::move(notes)), m_root(std::move(root)),
        m_resultSource(resultSource) {}

  void Run(IScanProgress& dialog, ScanResults& results) override { CarveFreeSpace(dialog, results); }

  int32_t ResultSource() const override {
    if (m_fat == nullptr) return m_resultSource;
    return m_fat->FatBits() == 12 ? SourceFat12 : m_fat->FatBits() == 16 ? SourceFat16 : SourceFat32;
  }

  void CarveFreeSpace(IScanProgress& dialog, ScanResults& results) override {
    dialog.SetTitle("正在初始化,请等待......");
    ShowSearchTitle(dialog, results);
    results.notes.insert(results.notes.end(), m_notes.begin(), m_notes.end());
    CVolumeAccess& access = *m_access;
    results.volumeAccess = std::move(m_access);
    ScanFreeSpace(dialog, results, access, m_fat, std::move(m_root));
  }

 private:
  std::unique_ptr<CVolumeAccess> m_access;
  CFAT32VolumeAccess* m_fat;
  std::vector<std::string> m_notes;
  std::unique_ptr<CRootFolder> m_root;
  int32_t m_resultSource;
};

}  // namespace

std::unique_ptr<CVolumeScan> MakeFreeSpaceScan(std::unique_ptr<CVolumeAccess> access, CFAT32VolumeAccess* fat,
                                               std::vector<std::string> notes, std::unique_ptr<CRootFolder> root,
                                               int32_t resultSource) {
  return std::make_unique<CFreeSpaceScan>(std::move(access), fat, std::move(notes), std::move(root), resultSource);
}

std::unique_ptr<CVolumeScan> MakeFreeSpaceScan(std::unique_ptr<CVolumeAccess> access, CFAT32VolumeAccess* fat,
                                               std::vector<std::string> notes) {
  return MakeFreeSpaceScan(std::move(access), fat, std::move(notes), nullptr, -1);
}

void ShowSearchTitle(IScanProgress& dialog, const ScanResults& results) {
  dialog.SetTitle("正在搜索" + results.volumeLabel + "盘文件");
}

void ScanFreeSpace(IScanProgress& dialog, ScanResults& results, CVolumeAccess& access, CFAT32VolumeAccess* fat,
                   std::unique_ptr<CRootFolder> root) {
  CFolderLoader loader(&access, fat, &results.foundFolders, &results.directoryClusters);
  SignatureScanner scanner(access, results, loader);
  std::string error;
  if (!scanner.IsUsable(&error)) {
    results.sourceError = error;
    return;
  }
  if (fat != nullptr) {
    results.rootFolder = std::make_unique<CRootFolder>(fat->GetRootCluster());
    if (!fat->HasFixedRoot()) loader.loaded.insert(fat->GetRootCluster());
    results.rootFolder->Load(loader);
    if (!fat->HasFixedRoot()) results.directoryClusters.push_back(fat->GetRootCluster());
  } else if (root != nullptr) {
    results.rootFolder = std::move(root);
    results.rootFolder->Load(loader);
  }
  scanner.Run(dialog);
}
