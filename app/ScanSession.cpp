#include "app/ScanSession.h"

#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "volume/VolumeAccess.h"

ScanSession::ScanSession() = default;

ScanSession::~ScanSession() {
  // Records refer to the volume: release them first.
  recordPrototype.reset();
  ntfsVolume.reset();
}

ScanSession& TheSession() {
  static ScanSession session;
  return session;
}
