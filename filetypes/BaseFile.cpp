#include "filetypes/BaseFile.h"

#include <algorithm>

#include "filetypes/BmpFile.h"
#include "filetypes/FileWriter.h"
#include "volume/VolumeAccess.h"

namespace {
constexpr uint32_t kChunkSectors = 128;
}

const uint8_t* CBaseFile::LoadContent(uint32_t* length) {
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 0;
  if (sectorSize == 0) return nullptr;
  const uint64_t fileLength = GetLength(sectorSize);
  // A preview holds at most the cap; recovery reads everything.
  const uint32_t shown = static_cast<uint32_t>(std::min<uint64_t>(fileLength, kPreviewCap));
  const uint32_t last = firstSector + (shown - 1) / sectorSize;
  m_content.assign(static_cast<size_t>(last - firstSector + 1) * sectorSize, 0);
  if (!m_access->ReadSectors(firstSector, last, m_content.data())) return nullptr;
  *length = shown;
  return m_content.data();
}

bool CBaseFile::RecoverTo(const std::string& path, std::string* error) {
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 0;
  if (sectorSize == 0) {
    if (error) *error = "the volume reports no sector size";
    return false;
  }
  // Chunks are whole sectors, so each piece is one read of its sectors.
  return WriteFileContent(path, GetLength(sectorSize), kChunkSectors * sectorSize,
                          [&](uint64_t offset, uint8_t* buffer, uint32_t n) {
                            const uint32_t sector = firstSector + static_cast<uint32_t>(offset / sectorSize);
                            return m_access->ReadSectors(sector, sector + (n - 1) / sectorSize, buffer);
                          },
                          error);
}

std::unique_ptr<CBaseFile> CandidateHolder::TryCreate(ByteSpan data, uint32_t sector) const {
  return CBmpFile::TryCreate(data, sector, m_bytesPerSector, m_access);
}

bool CandidateHolder::Offer(ByteSpan data, uint32_t sector) {
  // A signature at the start of a sector wins over the pending candidate.
  if (std::unique_ptr<CBaseFile> candidate = TryCreate(data, sector)) m_pending = std::move(candidate);
  if (!m_pending) return false;
  const int32_t result = m_pending->ExamineSector(sector, data, m_bytesPerSector, runLimitSector);
  if (result > 0) {
    m_pending->typeCode = result;
    completed.push_back(std::move(m_pending));
    return true;
  }
  if (result == -1) m_pending.reset();
  return false;
}
