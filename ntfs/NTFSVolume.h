#pragma once
// An NTFS volume opened for reading: boot sector geometry, the $Volume
// version check, and a window of the MFT held in memory.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Device.h"
#include "volume/DecodeError.h"

class CFileRecord;
class CAttrBase;

class CNTFSVolume {
 public:
  explicit CNTFSVolume(std::shared_ptr<CDevice> device);
  virtual ~CNTFSVolume();
  CNTFSVolume(const CNTFSVolume&) = delete;
  CNTFSVolume& operator=(const CNTFSVolume&) = delete;

  bool IsVolumeOK() const { return m_ready; }
  // Why the volume cannot be read: the structure that was rejected, where,
  // and what was found there. Empty for a volume that is ready.
  const std::string& GetOpenError() const { return m_openError; }

  uint16_t GetBytesPerSector() const { return m_bytesPerSector; }
  uint32_t GetBytesPerCluster() const { return m_clusterSize; }
  uint32_t GetSectorsPerCluster() const { return m_sectorsPerCluster; }
  uint64_t GetTotalSectors() const { return m_totalSectors; }
  uint32_t GetFileRecordSize() const { return m_fileRecordSize; }
  uint32_t GetIndexBlockSize() const { return m_indexBlockSize; }
  uint64_t GetMFTOffset() const { return m_mftOffset; }
  uint64_t GetMFTMirrOffset() const { return m_mftMirrOffset; }
  // What the user should know of how the volume was opened: records taken from $MFTMirr.
  const std::vector<std::string>& GetNotes() const { return m_notes; }
  uint16_t GetVersion() const { return m_version; }
  const std::shared_ptr<CDevice>& GetDeviceHandle() const { return m_device; }
  CAttrBase* GetMFTDataAttr() const { return m_mftData; }

  // Copies one record's raw bytes out of the MFT window, moving the window when needed.
  bool ReadMFTRecord(uint64_t recordNumber, uint8_t* out);
  // Reads one record from the device itself, for a record that may have
  // changed since the window was filled.
  bool ReadMFTRecordDirect(uint64_t recordNumber, uint8_t* out);

  static constexpr uint32_t kCacheSize = 0x1000000;  // 16 MiB of MFT at a time

 private:
  void Open();
  bool DecodeBootSector(const uint8_t* boot);
  bool Reject(DecodeError error);
  bool CheckVersion();
  void LoadMFTRecord();
  // Reads record n and checks it; when its MFT copy fails, the $MFTMirr copy is used and noted.
  bool ReadSystemRecord(CFileRecord& record, uint64_t n, const std::function<DecodeError(CFileRecord&)>& check);
  bool FillCache(uint64_t position);
  bool RecordPosition(uint64_t recordNumber, uint64_t* position) const;

  std::shared_ptr<CDevice> m_device;
  std::string m_openError;
  uint16_t m_bytesPerSector = 0;
  uint32_t m_clusterSize = 0;
  uint64_t m_totalSectors = 0;
  uint32_t m_sectorsPerCluster = 0;
  uint32_t m_fileRecordSize = 0;
  uint32_t m_indexBlockSize = 0;
  uint64_t m_mftOffset = 0;
  uint64_t m_mftMirrOffset = 0;
  std::vector<std::string> m_notes;
  bool m_ready = false;
  uint16_t m_version = 0;
  std::unique_ptr<CFileRecord> m_mftRecord;
  CAttrBase* m_mftData = nullptr;
  std::vector<uint8_t> m_cache;
  uint64_t m_cacheStart = 0;
  uint64_t m_cacheLength = 0;  // bytes of the window that hold MFT data
};
