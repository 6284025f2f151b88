#pragma once
// An exFAT volume: its geometry from its own boot sector, clusters numbered
// from 2 in the cluster heap, which clusters are in use from the allocation
// bitmap (the FAT is only read to follow chains), sector numbers counted from
// the volume's start.

#include <memory>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "volume/DecodeError.h"
#include "volume/VolumeAccess.h"

class CExFatVolumeAccess : public CVolumeAccess {
 public:
  explicit CExFatVolumeAccess(std::shared_ptr<CDevice> device);

  uint64_t GetClusterCount() override { return m_clusterCount; }
  uint64_t GetFirstCluster() override { return 2; }
  uint32_t GetClusterSize() override { return m_bytesPerCluster; }
  uint32_t GetSectorSize() override { return m_bytesPerSector; }
  // A cluster whose bit in the allocation bitmap is set; without a readable bitmap every cluster is free.
  bool IsClusterUsed(uint64_t cluster) override;
  uint64_t ClusterToSector(uint64_t cluster) override;
  bool ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) override;
  bool ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) override;

  uint32_t GetRootCluster() const { return m_rootCluster; }
  bool IsValidCluster(uint64_t cluster) const { return cluster >= 2 && cluster - 2 < m_clusterCount; }
  // The FAT entry of a cluster; kEndOfChain for a number outside the volume.
  uint32_t GetFatEntry(uint64_t cluster);
  // Reads up to maxBytes of a chain: through the FAT, or contiguous when the
  // stream says it has no chain. Stops at a cluster met twice.
  bool ReadChain(uint32_t first, bool contiguous, uint64_t maxBytes, std::vector<uint8_t>* data);
  bool IsBitmapReadable() const { return m_bitmapReadable; }
  // Why the volume cannot be read as exFAT; empty when it can.
  const DecodeError& GetOpenError() const { return m_openError; }

  static constexpr uint32_t kEndOfChain = 0xFFFFFFFF;
  static constexpr uint32_t kBadCluster = 0xFFFFFFF7;

 private:
  bool DecodeBootSector(ByteSpan boot);
  void LoadBitmap();
  bool ReadBytes(uint64_t offset, uint64_t bytes, uint8_t* buffer);

  std::shared_ptr<CDevice> m_device;
  uint32_t m_bytesPerSector = 0;
  uint32_t m_bytesPerCluster = 0;
  uint32_t m_sectorsPerCluster = 0;
  uint64_t m_fatOffset = 0;          // sectors
  uint64_t m_clusterHeapOffset = 0;  // sectors
  uint64_t m_clusterCount = 0;
  uint32_t m_rootCluster = 0;
  std::vector<uint8_t> m_bitmap;
  bool m_bitmapReadable = false;
  DecodeError m_openError;
};
