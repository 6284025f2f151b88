#include "scan/FileSystems.h"

#include <algorithm>
#include <array>

#include "platform/BootSector.h"
#include "platform/Diagnostics.h"
#include "scan/ExFatScan.h"
#include "scan/Fat32Scan.h"
#include "scan/NtfsScan.h"
#include "scan/SignatureScan.h"
#include "volume/RawVolumeAccess.h"

namespace {

constexpr uint32_t kProbeBytes = 512;

constexpr std::array<FileSystemEntry, 4> kFileSystems{{
    {"NTFS", SourceNtfs, &OpenNtfsScan},
    {"FAT32", SourceFat32, &OpenFat32Scan},
    {"FAT", SourceFat16, &OpenFat32Scan},  // FAT12 or FAT16, as the volume's cluster count says
    {"exFAT", SourceExfat, &OpenExFatScan},
}};

const FileSystemEntry* FindEntry(const std::string& name) {
  for (const FileSystemEntry& entry : kFileSystems) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<CVolumeScan> OpenRawScan(std::shared_ptr<CDevice> device) {
  return MakeFreeSpaceScan(std::make_unique<CRawVolumeAccess>(std::move(device)), nullptr);
}

std::span<const FileSystemEntry> FileSystemTable() { return kFileSystems; }

std::string ProbeFileSystem(CDevice& device, std::string* why) {
  uint8_t sector[kProbeBytes];
  uint32_t got = 0;
  if (!device.ReadAt(0, sector, kProbeBytes, &got)) {
    if (why) *why = "its first sector cannot be read: " + device.LastErrorText();
    return "";
  }
  return FileSystemOfBootSector(sector, got);
}

std::unique_ptr<CVolumeScan> OpenVolumeScan(ScanResults& results) {
  std::string why;
  const std::string name = ProbeFileSystem(*results.device, &why);
  results.fileSystem = name;
  if (const FileSystemEntry* entry = FindEntry(name)) {
    if (std::unique_ptr<CVolumeScan> scan = entry->open(results.device, &why)) {
      results.resultSource = scan->ResultSource() >= 0 ? scan->ResultSource() : entry->resultSource;
      return scan;
    }
    results.notes.push_back(name + " volume that cannot be read as such (" + why +
                            "): every sector is searched for files instead");
  } else if (!name.empty()) {
    results.notes.push_back(name + " volume: its deleted files cannot be listed; every sector is searched for files");
  } else if (!why.empty()) {
    results.notes.push_back("No file system could be recognised, " + why + "; every sector is searched for files");
  } else {
    results.notes.push_back("No known file system: every sector is searched for files");
  }
  for (const std::string& note : results.notes) DiagnosticPrintf("%s\n", note.c_str());
  results.resultSource = SourceOther;
  return OpenRawScan(results.device);
}
