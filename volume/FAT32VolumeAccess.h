#pragma once
// A FAT32 volume: clusters numbered from 2, the first FAT held in memory,
// and sector numbers counted from the end of the reserved sectors.

#include <memory>
#include <vector>

#include "platform/Device.h"
#include "volume/DecodeError.h"
#include "volume/VolumeAccess.h"

class CFAT32VolumeAccess : public CVolumeAccess {
 public:
  explicit CFAT32VolumeAccess(std::shared_ptr<CDevice> device);

  uint32_t GetClusterCount() override;
  uint32_t GetClusterSize() override { return m_bytesPerCluster; }
  uint32_t GetSectorSize() override { return m_bytesPerSector; }
  bool IsClusterUsed(uint32_t cluster) override;
  uint32_t ClusterToSector(uint32_t cluster) override;
  bool ReadSectors(uint32_t first, uint32_t last, uint8_t* buffer) override;
  bool ReadClusters(uint32_t first, uint32_t last, uint8_t* buffer) override;

  bool ReadCluster(uint32_t cluster, uint8_t* buffer);
  // With a null buffer, measures the chain from first into *size; otherwise
  // reads at most *size bytes of it, cluster by cluster.
  bool ReadClusterChain(uint32_t first, uint8_t* buffer, uint32_t* size);
  uint32_t GetRootCluster() const;
  uint32_t GetFatEntry(uint32_t cluster) const;
  // Why the volume cannot be read as FAT32; empty when it can.
  const DecodeError& GetOpenError() const { return m_openError; }

  static constexpr uint32_t kEndOfChain = 0x0FFFFFFF;

 private:
  void Load();
  bool ReadAt(uint32_t sector, uint64_t bytes, uint8_t* buffer);
  uint64_t CountUntilRepeat(uint32_t first) const;

  std::shared_ptr<CDevice> m_device;
  uint32_t m_bytesPerSector = 0;
  std::vector<uint8_t> m_bootSector;  // the first 90 bytes
  uint32_t m_bytesPerCluster = 0;
  std::vector<uint32_t> m_fat;
  DecodeError m_openError;
};
