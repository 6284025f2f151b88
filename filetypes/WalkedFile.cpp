#include "filetypes/WalkedFile.h"

#include <algorithm>

#include "volume/VolumeAccess.h"

int32_t CWalkedFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                                   uint64_t runLimitSector) {
  if (m_type > 0) return sector >= lastSector ? m_type : 0;
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  m_runEnd = RunEndOffset(sector, bytesPerSector, runLimitSector);
  while (m_next < end) {
    uint64_t next = 0;
    switch (StepAt(view, static_cast<int64_t>(m_next) - static_cast<int64_t>(base), m_next, &next)) {
      case Step::Wait:
        return 0;
      case Step::Reject:
        if (!KeptWhenCut()) return -1;
        m_cut = true;
        EndAt(m_next, bytesPerSector);
        m_type = TypeAtEnd();
        return m_type;
      case Step::Next:
        if (next <= m_next || next > m_maxSize || PastTheVolume(next, bytesPerSector)) return -1;
        m_next = next;
        break;
      case Step::End: {
        const int32_t type = TypeAtEnd();
        if (next == 0 || next > m_maxSize || type <= 0 || PastTheVolume(next, bytesPerSector)) return -1;
        EndAt(next, bytesPerSector);
        m_type = type;
        // An end known ahead is reported at once while it lies in this run;
        // past it, when its sector arrives through runs that touch.
        return lastSector <= std::max(sector, runLimitSector) ? type : 0;
      }
    }
  }
  return 0;
}

// Only within the run being read: a structure of a false size must not hide
// the files after it beyond that.
bool CWalkedFile::HoldsSector(uint64_t sector, uint32_t bytesPerSector) const {
  return m_type == 0 && m_next > SectorBase(sector, bytesPerSector) + bytesPerSector && m_next <= m_runEnd;
}

int32_t CWalkedFile::EndWhereCut(uint64_t sector, uint32_t bytesPerSector) {
  if (m_type > 0 || !KeptWhenCut()) return -1;
  m_cut = true;
  EndAt(std::min(m_next, SectorBase(sector, bytesPerSector)), bytesPerSector);
  m_type = TypeAtEnd();
  return m_type;
}

bool CWalkedFile::PastTheVolume(uint64_t length, uint32_t bytesPerSector) const {
  if (m_access == nullptr) return false;
  const uint64_t volumeBytes = m_access->GetClusterCount() * m_access->GetClusterSize();
  const uint64_t start = firstSector * bytesPerSector;
  return volumeBytes != 0 && (start > volumeBytes || length > volumeBytes - start);
}
