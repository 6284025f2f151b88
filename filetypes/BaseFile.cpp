#include "filetypes/BaseFile.h"

#include <algorithm>

#include "filetypes/BmpFile.h"
#include "filetypes/JPGFile.h"
#include "filetypes/ZipFile.h"
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

bool SectorView::Read(int64_t rel, size_t n, uint8_t* out) const {
  const int64_t start = static_cast<int64_t>(carry.size() + at) + rel;
  if (start < 0 || static_cast<uint64_t>(start) + n > carry.size() + run.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    const size_t pos = static_cast<size_t>(start) + i;
    out[i] = pos < carry.size() ? carry[pos] : run[pos - carry.size()];
  }
  return true;
}

ByteSpan SectorView::From(int64_t rel) const {
  const int64_t start = static_cast<int64_t>(at) + rel;
  if (start < 0 || static_cast<uint64_t>(start) >= run.size()) return {};
  return run.subspan(static_cast<size_t>(start));
}

std::unique_ptr<CBaseFile> CandidateHolder::TryCreate(ByteSpan data, uint32_t sector) const {
  // Every signature begins with one of these bytes: FF (JPEG), P (ZIP), B
  // (BMP), I or M (TIFF). Most sectors stop at this one test.
  if (data.empty()) return nullptr;
  switch (data[0]) {
    case 0xFF: case 'P': case 'B': case 'I': case 'M': break;
    default: return nullptr;
  }
  // JPEG, ZIP and BMP starts come first; a TIFF header only where none of them is.
  if (auto file = CJPGFile::TryCreate(data, sector, m_access)) return file;
  if (auto file = CZipFile::TryCreate(data, sector, m_bytesPerSector, m_access)) return file;
  if (auto file = CBmpFile::TryCreate(data, sector, m_bytesPerSector, m_access)) return file;
  return CTiffFile::TryCreate(data, sector, m_access);
}

void CandidateHolder::BeginRun(ByteSpan run, bool touches) {
  if (!touches) {
    DiscardPending();
    m_carry.clear();
  }
  m_run = run;
}

void CandidateHolder::EndRun() {
  // Runs touch only after a full one, so the carry never needs more than one run's end.
  if (!m_pending) {
    m_carry.clear();
    return;
  }
  const size_t keep = std::min(m_run.size(), kCarryBytes);
  m_carry.assign(m_run.end() - static_cast<std::ptrdiff_t>(keep), m_run.end());
}

bool CandidateHolder::Offer(size_t at, uint32_t sector) {
  const SectorView view{m_carry, m_run, at};
  // A signature at the start of a sector wins over the pending candidate.
  if (std::unique_ptr<CBaseFile> candidate = TryCreate(m_run.subspan(at), sector)) m_pending = std::move(candidate);
  if (!m_pending) return false;
  const int32_t result = m_pending->ExamineSector(sector, view, m_bytesPerSector, runLimitSector);
  if (result > 0) {
    m_pending->typeCode = result;
    completed.push_back(std::move(m_pending));
    return true;
  }
  if (result == -1) m_pending.reset();
  return false;
}
