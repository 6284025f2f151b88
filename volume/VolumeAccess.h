#pragma once
// Sector and cluster reader of the scanned drive. Units are called clusters;
// on a raw volume one unit is one sector.

#include <cstdint>

class CVolumeAccess {
 public:
  virtual uint32_t GetClusterCount() { return 0; }
  virtual uint32_t GetClusterSize() { return 0; }
  virtual uint32_t GetSectorSize() { return 0; }
  virtual bool IsClusterUsed(uint32_t /*cluster*/) { return true; }
  virtual ~CVolumeAccess() = default;
  virtual uint32_t ClusterToSector(uint32_t /*cluster*/) { return 0; }
  // The buffer holds (last - first + 1) sectors or clusters.
  virtual bool ReadSectors(uint32_t /*first*/, uint32_t /*last*/, uint8_t* /*buffer*/) { return true; }
  virtual bool ReadClusters(uint32_t /*first*/, uint32_t /*last*/, uint8_t* /*buffer*/) { return true; }
};
