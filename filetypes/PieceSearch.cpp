#include "filetypes/PieceSearch.h"

#include <algorithm>

#include "filetypes/CarvedFormats.h"
#include "volume/VolumeAccess.h"

CPieceSearch::CPieceSearch(CVolumeAccess& access, uint64_t firstUnit, uint64_t endUnit, uint32_t sectorsPerUnit)
    : m_access(access),
      m_firstUnit(firstUnit),
      m_endUnit(endUnit),
      m_sectorsPerUnit(std::max<uint32_t>(sectorsPerUnit, 1)),
      m_alignSectors(m_sectorsPerUnit),
      m_bytesPerSector(access.GetSectorSize()),
      m_unitBase(access.ClusterToSector(firstUnit)) {}

bool CPieceSearch::IsPieceBoundary(uint64_t sector) const {
  return sector >= m_unitBase && (sector - m_unitBase) % m_alignSectors == 0;
}

bool CPieceSearch::IsFreeSector(uint64_t sector) {
  if (sector < m_unitBase) return false;
  const uint64_t unit = m_firstUnit + (sector - m_unitBase) / m_sectorsPerUnit;
  return unit < m_endUnit && !m_access.IsClusterUsed(unit);
}

bool CPieceSearch::IsClaimed(uint64_t sector) const {
  auto it = std::upper_bound(m_claimed.begin(), m_claimed.end(), sector,
                             [](uint64_t s, const SectorRun& run) { return s < run.first; });
  if (it == m_claimed.begin()) return false;
  --it;
  return sector - it->first < it->count;
}

void CPieceSearch::Claim(const std::vector<SectorRun>& runs) {
  for (const SectorRun& run : runs) {
    auto at = std::upper_bound(m_claimed.begin(), m_claimed.end(), run.first,
                               [](uint64_t s, const SectorRun& r) { return s < r.first; });
    m_claimed.insert(at, run);
  }
}

bool CPieceSearch::ReadFile(CBaseFile& file, std::vector<uint8_t>* out) {
  std::vector<SectorRun> runs;
  if (!ReadFileAndAfter(file, 0, &runs, out)) return false;
  out->resize(static_cast<size_t>(file.GetLength(m_bytesPerSector)));
  return true;
}

bool CPieceSearch::ReadFileAndAfter(CBaseFile& file, uint64_t most, std::vector<SectorRun>* runs,
                                    std::vector<uint8_t>* out) {
  if (m_bytesPerSector == 0) return false;
  const uint64_t length = file.GetLength(m_bytesPerSector);
  if (length == 0 || length > kMaxFileBytes) return false;
  *runs = file.Runs();
  const uint64_t sectors = (length + m_bytesPerSector - 1) / m_bytesPerSector;
  out->assign(static_cast<size_t>(sectors * m_bytesPerSector), 0);
  if (!file.ReadFileSectors(0, sectors, out->data(), m_bytesPerSector)) return false;
  const uint64_t next = runs->back().first + runs->back().count;
  uint64_t after = 0;
  while (after < most / m_bytesPerSector && IsFreeSector(next + after) && !IsClaimed(next + after)) ++after;
  if (after == 0) return true;
  const size_t at = out->size();
  out->resize(at + static_cast<size_t>(after * m_bytesPerSector));
  if (!m_access.ReadSectors(next, next + after - 1, out->data() + at)) {
    out->resize(at);
    return true;
  }
  runs->back().count += after;
  return true;
}

CFreeStretches CPieceSearch::StretchesAfter(uint64_t sector) {
  std::vector<SectorRun> runs;
  if (m_bytesPerSector == 0) return CFreeStretches(*this, runs);
  const uint64_t windowSectors = kWindowBytes / m_bytesPerSector;
  uint64_t first = 0, count = 0;
  for (uint64_t s = sector; s < sector + windowSectors; ++s) {
    if (IsFreeSector(s) && !IsClaimed(s)) {
      if (count == 0) first = s;
      ++count;
      continue;
    }
    if (count != 0) runs.push_back({first, count});
    count = 0;
    // Past the volume's end nothing more is free.
    if (s >= m_unitBase && m_firstUnit + (s - m_unitBase) / m_sectorsPerUnit >= m_endUnit) break;
  }
  if (count != 0) runs.push_back({first, count});
  return CFreeStretches(*this, std::move(runs));
}

std::vector<uint8_t> CPieceSearch::ReadStretch(const SectorRun& run) {
  std::vector<uint8_t> bytes(static_cast<size_t>(run.count * m_bytesPerSector));
  // An unreadable stretch holds no piece that could be checked.
  if (!m_access.ReadSectors(run.first, run.first + run.count - 1, bytes.data())) bytes.clear();
  return bytes;
}

void CFreeStretches::Iterator::Load() {
  if (m_index >= m_owner->m_runs.size()) return;
  const SectorRun& run = m_owner->m_runs[m_index];
  m_stretch = FreeStretch{run.first, m_owner->m_search.ReadStretch(run)};
}

uint64_t SectorAtOffset(const std::vector<SectorRun>& runs, uint64_t offset, uint32_t bytesPerSector) {
  uint64_t index = offset / bytesPerSector;
  for (const SectorRun& run : runs) {
    if (index < run.count) return run.first + index;
    index -= run.count;
  }
  return runs.empty() ? 0 : runs.back().first + runs.back().count + index;
}

std::vector<SectorRun> RunsUpTo(const std::vector<SectorRun>& runs, uint64_t offset, uint32_t bytesPerSector) {
  uint64_t sectors = offset / bytesPerSector;
  std::vector<SectorRun> kept;
  for (const SectorRun& run : runs) {
    if (sectors == 0) break;
    kept.push_back({run.first, std::min(run.count, sectors)});
    sectors -= kept.back().count;
  }
  return kept;
}

uint64_t LastRunStart(const std::vector<SectorRun>& runs, uint32_t bytesPerSector) {
  uint64_t sectors = 0;
  for (size_t i = 0; i + 1 < runs.size(); ++i) sectors += runs[i].count;
  return sectors * bytesPerSector;
}

void JoinPieces(std::vector<std::unique_ptr<CBaseFile>>& files, CPieceSearch& search,
                const std::vector<uint32_t>& alignments, const std::function<bool()>& stop) {
  std::vector<CBaseFile*> broken;
  // Files found whole first: their sectors are no other file's pieces.
  for (const auto& file : files) {
    const PieceJoiner* joiner = FindPieceJoiner(file->typeCode);
    if (joiner == nullptr) {
      if (file->EndEstablished()) search.Claim(file->Runs());
      continue;
    }
    if (stop()) return;
    if (joiner->isWhole(*file, search)) {
      search.Claim(file->Runs());
    } else {
      broken.push_back(file.get());
    }
  }
  // Each alignment in turn for the files still broken; whole ones are not
  // looked at again.
  for (const uint32_t align : alignments) {
    search.SetAlignment(align);
    for (CBaseFile*& file : broken) {
      if (file == nullptr) continue;
      if (stop()) return;
      search.StartFile();
      if (FindPieceJoiner(file->typeCode)->join(*file, search) && file->EndEstablished()) {
        search.Claim(file->Runs());
        file = nullptr;
      }
    }
  }
}
