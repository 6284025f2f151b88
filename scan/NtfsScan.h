#pragma once
// NTFS in the scan: deleted files through the MFT with their folder paths,
// free space from the volume bitmap.

#include <memory>
#include <string>
#include <vector>

#include "platform/Device.h"
#include "scan/FileSystems.h"

class CNTFSVolume;
class CFileRecord;
class CAttrBase;

// The volume bitmap of an NTFS volume, whole; empty, with the reason, when it cannot be read.
std::vector<uint8_t> ReadVolumeBitmap(CNTFSVolume& volume, std::string* why);

// The volume bitmap read a page at a time, as clusters are asked about: a
// volume of terabytes has a bitmap of tens of MiB, and a check of a few
// files needs a few pages of it.
class CNtfsBitmapPages {
 public:
  // Empty (Holds false), with the reason, when the bitmap cannot be opened.
  CNtfsBitmapPages(CNTFSVolume& volume, std::string* why);
  ~CNtfsBitmapPages();
  bool Holds() const { return m_data != nullptr; }
  uint64_t ClusterCount() const { return m_size * 8; }
  uint64_t ByteCount() const { return m_size; }
  // In use, or past the bitmap, or on a page that cannot be read.
  bool IsUsed(uint64_t cluster);
  // want bytes of the bitmap from offset into out; false when they cannot all be read.
  bool Read(uint64_t offset, uint8_t* out, uint32_t want);

 private:
  std::unique_ptr<CFileRecord> m_record;
  CAttrBase* m_data = nullptr;
  uint64_t m_size = 0;
  uint64_t m_pageStart = UINT64_MAX;
  std::vector<uint8_t> m_page;
};

std::unique_ptr<CVolumeScan> OpenNtfsScan(std::shared_ptr<CDevice> device, std::string* why);

// Marks the directories on the path of one parent reference, making a
// placeholder where the chain meets a directory that is gone.
void EnsureDirectoryPath(ScanResults& results, uint64_t parentRef);
