#pragma once
// The signature scan: free units read in runs, every sector offered to the
// candidate holder, FAT directory clusters in free space loaded as folders.

#include <memory>
#include <string>
#include <vector>

#include "fat32/Folder.h"
#include "scan/ScanResults.h"
#include "filetypes/BaseFile.h"
#include "scan/FileSystems.h"
#include "scan/ScanProgress.h"

class CVolumeAccess;
struct CFolderLoader;

// What the user is told when the search of free space was cancelled.
extern const char* const kScanStoppedText;

class SignatureScanner {
 public:
  SignatureScanner(CVolumeAccess& access, ScanResults& session, CFolderLoader& loader);
  // False when the reader's geometry cannot be scanned; the reason in *error.
  bool IsUsable(std::string* error) const;
  void Run(IScanProgress& dialog);

  static constexpr uint32_t kRunSectors = 40000;
  // Where pieces are looked for on a volume whose units are sectors, first.
  static constexpr uint32_t kRawPieceAlignment = 4096;

 private:
  void JoinBrokenFiles(IScanProgress& dialog);
  uint64_t FindRunEnd(IScanProgress& dialog, uint64_t unit);
  uint64_t SkipUsedUnits(IScanProgress& dialog, uint64_t last);
  void ProcessRun(IScanProgress& dialog, uint64_t first, uint64_t last, const uint8_t* data, bool read);
  bool IsDirectoryCluster(uint64_t unit, ByteSpan data);
  bool IsExFatDirectoryCluster(uint64_t unit, ByteSpan data);
  template <typename Folder>
  void LoadFoundFolder(uint32_t unit, ByteSpan data);
  void AddCarvedFile(std::unique_ptr<CBaseFile> file);
  void ProgressStep(IScanProgress& dialog, uint64_t unit);

  CVolumeAccess& m_access;
  ScanResults& m_session;
  CFolderLoader& m_loader;
  uint64_t m_unitCount;
  // Units are numbered from the access's first cluster; the scan ends before m_endUnit.
  uint64_t m_endUnit;
  CProgressScale m_progress;
  uint32_t m_unitSize;
  uint32_t m_sectorSize;
  uint32_t m_sectorsPerUnit = 0;
  uint32_t m_unitsPerRun = 0;
  size_t m_runBufferSize = 0;
  uint64_t m_previousRunEnd = 1;
  uint32_t m_foundCount = 0;
  CandidateHolder m_holder;
};

class CFAT32VolumeAccess;

// Carves the free space the access maps, loading the FAT directory clusters
// met there as folders; with a FAT32 reader, the folder tree from the root first.
// With a root folder (a FAT volume), its tree is loaded first; fat is given
// for FAT12/16/32, whose directory clusters met in free space are loaded too.
void ScanFreeSpace(IScanProgress& dialog, ScanResults& results, CVolumeAccess& access, CFAT32VolumeAccess* fat,
                   std::unique_ptr<CRootFolder> root = nullptr);
// The scan of a volume whose free space is read in one pass with its folders,
// if it has any: every sector of a raw volume, or the FAT's free clusters
// with the folder tree from the root when fat is the access itself.
// The notes say how the volume is read, for the results.
std::unique_ptr<CVolumeScan> MakeFreeSpaceScan(std::unique_ptr<CVolumeAccess> access, CFAT32VolumeAccess* fat,
                                               std::vector<std::string> notes, std::unique_ptr<CRootFolder> root,
                                               int32_t resultSource);
std::unique_ptr<CVolumeScan> MakeFreeSpaceScan(std::unique_ptr<CVolumeAccess> access, CFAT32VolumeAccess* fat,
                                               std::vector<std::string> notes = {});
// "正在搜索X盘文件", once the volume is open and its free space known.
void ShowSearchTitle(IScanProgress& dialog, const ScanResults& results);
