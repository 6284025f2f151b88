#include "filetypes/BaseFile.h"

#include <algorithm>

#include "filetypes/BmpFile.h"
#include "platform/FileOutput.h"
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
  std::string reason;
  std::unique_ptr<COutputFile> out = COutputFile::Create(path, &reason);
  if (!out) {
    if (error) *error = "cannot create " + path + ": " + reason;
    return false;
  }
  const uint64_t length = GetLength(sectorSize);
  std::vector<uint8_t> buffer(static_cast<size_t>(kChunkSectors) * sectorSize);
  for (uint64_t done = 0; done < length;) {
    const uint32_t sector = firstSector + static_cast<uint32_t>(done / sectorSize);
    const uint32_t sectors = static_cast<uint32_t>(std::min<uint64_t>(kChunkSectors, lastSector - sector + 1));
    const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(sectors) * sectorSize, length - done));
    if (!m_access->ReadSectors(sector, sector + sectors - 1, buffer.data())) {
      if (error) *error = "read error at sector " + std::to_string(sector);
      out->Close();
      return false;
    }
    if (!out->Write(buffer.data(), bytes)) {
      if (error) *error = "cannot write " + path + ": " + out->LastErrorText();
      out->Close();
      return false;
    }
    done += bytes;
  }
  if (!out->Close()) {
    if (error) *error = "cannot write " + path + ": " + out->LastErrorText();
    return false;
  }
  return true;
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
