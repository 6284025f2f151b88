#include "filetypes/BaseFile.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "filetypes/CarvedFormats.h"
#include "volume/FileWriter.h"
#include "volume/VolumeAccess.h"

namespace {
constexpr uint32_t kChunkSectors = 128;
}

uint64_t CBaseFile::GetLength(uint32_t bytesPerSector) const {
  if (pieces.empty()) return (lastSector - firstSector) * bytesPerSector + lastByteIndex + 1;
  uint64_t sectors = 0;
  for (const SectorRun& run : pieces) sectors += run.count;
  return (sectors - 1) * bytesPerSector + lastByteIndex + 1;
}

void CBaseFile::SetPieces(std::vector<SectorRun> runs, uint64_t length, uint32_t bytesPerSector) {
  // Only the sectors the length reaches are kept.
  uint64_t sectors = (length + bytesPerSector - 1) / bytesPerSector;
  std::vector<SectorRun> kept;
  for (const SectorRun& run : runs) {
    if (sectors == 0) break;
    kept.push_back({run.first, std::min(run.count, sectors)});
    sectors -= kept.back().count;
  }
  if (kept.empty()) return;
  firstSector = kept.front().first;
  lastSector = kept.back().first + kept.back().count - 1;
  lastByteIndex = static_cast<uint32_t>((length - 1) % bytesPerSector);
  pieces = kept.size() > 1 ? std::move(kept) : std::vector<SectorRun>{};
}

std::vector<SectorRun> CBaseFile::Runs() const {
  if (!pieces.empty()) return pieces;
  return {{firstSector, lastSector - firstSector + 1}};
}

bool CBaseFile::ReadFileSectors(uint64_t index, uint64_t n, uint8_t* buffer, uint32_t bytesPerSector) {
  for (const SectorRun& run : Runs()) {
    if (n == 0) break;
    if (index >= run.count) {
      index -= run.count;
      continue;
    }
    const uint64_t take = std::min(n, run.count - index);
    if (!m_access->ReadSectors(run.first + index, run.first + index + take - 1, buffer)) return false;
    buffer += take * bytesPerSector;
    n -= take;
    index = 0;
  }
  return n == 0;
}

const uint8_t* CBaseFile::LoadContent(uint32_t* length) {
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 0;
  if (sectorSize == 0) return nullptr;
  const uint64_t fileLength = GetLength(sectorSize);
  // A preview holds at most the cap; recovery reads everything.
  const uint32_t shown = static_cast<uint32_t>(std::min<uint64_t>(fileLength, kPreviewCap));
  const uint64_t sectors = (shown - 1) / sectorSize + 1;
  m_content.assign(static_cast<size_t>(sectors) * sectorSize, 0);
  if (!ReadFileSectors(0, sectors, m_content.data(), sectorSize)) return nullptr;
  *length = shown;
  return m_content.data();
}

bool CBaseFile::OpenContent(ContentSource* source, std::string* error) {
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 0;
  if (sectorSize == 0) {
    if (error) *error = "the volume reports no sector size";
    return false;
  }
  source->length = GetLength(sectorSize);
  // Chunks are whole sectors, so each piece is one read of its sectors.
  source->chunkSize = kChunkSectors * sectorSize;
  source->read = [this, sectorSize](uint64_t offset, uint8_t* buffer, uint32_t n) {
    return ReadFileSectors(offset / sectorSize, (n - 1) / sectorSize + 1, buffer, sectorSize);
  };
  return true;
}

ContentLayout CBaseFile::Layout() {
  const uint32_t sectorSize = m_access ? m_access->GetSectorSize() : 0;
  if (sectorSize == 0) return {};
  ContentLayout layout{ContentPlace::FreeSpace, {}, {}};
  const uint64_t length = GetLength(sectorSize);
  uint64_t offset = 0;
  for (const SectorRun& run : Runs()) {
    const uint64_t bytes = std::min(run.count * sectorSize, length - offset);
    layout.runs.push_back({offset, m_access->SectorToVolumeOffset(run.first), bytes, 0, 0});
    offset += bytes;
  }
  return layout;
}

bool SectorView::Holds(int64_t rel, size_t n) const {
  const int64_t start = static_cast<int64_t>(carry.size() + at) + rel;
  return start >= 0 && static_cast<uint64_t>(start) + n <= carry.size() + run.size();
}

bool SectorView::Read(int64_t rel, size_t n, uint8_t* out) const {
  if (!Holds(rel, n)) return false;
  const size_t start = static_cast<size_t>(static_cast<int64_t>(carry.size() + at) + rel);
  // The bytes in the carry, then those in the run.
  const size_t fromCarry = start < carry.size() ? std::min(n, carry.size() - start) : 0;
  if (fromCarry > 0) std::memcpy(out, carry.data() + start, fromCarry);
  if (n > fromCarry) std::memcpy(out + fromCarry, run.data() + (start + fromCarry - carry.size()), n - fromCarry);
  return true;
}

bool SectorView::Find(int64_t rel, std::string_view text, int64_t* found) const {
  const auto same = [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); };
  const int64_t carryStart = -static_cast<int64_t>(carry.size() + at);
  const int64_t runStart = -static_cast<int64_t>(at);
  if (text.empty()) return false;
  rel = std::max(rel, carryStart);
  if (rel < runStart) {
    // Within the carry, then across its end into the run.
    const auto from = carry.begin() + (rel - carryStart);
    const auto it = std::search(from, carry.end(), text.begin(), text.end(), same);
    if (it != carry.end()) {
      *found = carryStart + (it - carry.begin());
      return true;
    }
    for (size_t k = std::min(text.size() - 1, carry.size()); k >= 1; --k) {
      const int64_t start = runStart - static_cast<int64_t>(k);
      if (start < rel || text.size() - k > run.size()) continue;
      if (std::equal(carry.end() - static_cast<std::ptrdiff_t>(k), carry.end(), text.begin(), same) &&
          std::equal(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(text.size() - k), text.begin() + k, same)) {
        *found = start;
        return true;
      }
    }
    rel = runStart;
  }
  if (rel - runStart >= static_cast<int64_t>(run.size())) return false;
  const auto from = run.begin() + (rel - runStart);
  const auto it = std::search(from, run.end(), text.begin(), text.end(), same);
  if (it == run.end()) return false;
  *found = runStart + (it - run.begin());
  return true;
}

ByteSpan SectorView::From(int64_t rel) const {
  const int64_t start = static_cast<int64_t>(at) + rel;
  if (start < 0 || static_cast<uint64_t>(start) >= run.size()) return {};
  return run.subspan(static_cast<size_t>(start));
}

void CandidateHolder::BeginRun(ByteSpan run, bool touches) {
  m_hidden = 0;
  if (!touches) {
    CutPending();
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
  size_t keep = kCarryBytes;
  if (m_pending->firstSector >= m_runFirstSector) {
    const uint64_t before = (m_pending->firstSector - m_runFirstSector) * m_bytesPerSector;
    if (before < m_run.size()) keep = std::max<size_t>(keep, std::min<uint64_t>(m_run.size() - before, kMaxCarryBytes));
  } else {
    keep = kMaxCarryBytes;
  }
  keep = std::min(m_run.size(), keep);
  m_carry.assign(m_run.end() - static_cast<std::ptrdiff_t>(keep), m_run.end());
}

bool CandidateHolder::Offer(size_t at, uint64_t sector) {
  m_runFirstSector = sector - at / m_bytesPerSector;
  bool found = OfferOne(at, sector);
  // A candidate that held sectors and then proved no file gives them back:
  // they are offered again from the first signature it hid. Each replay
  // starts past the one before, so this ends within the run.
  while (m_replayFrom != 0) {
    const uint64_t from = std::exchange(m_replayFrom, 0);
    for (uint64_t s = from; s <= sector && m_replayFrom == 0; ++s) {
      found = OfferOne(static_cast<size_t>(s - m_runFirstSector) * m_bytesPerSector, s) || found;
    }
  }
  return found;
}

bool CandidateHolder::OfferOne(size_t at, uint64_t sector) {
  const SectorView view{m_carry, m_run, at};
  // A signature at the start of a sector wins over the pending candidate,
  // unless the candidate's own structure spans the sector.
  const bool held = m_pending && m_pending->HoldsSector(sector, m_bytesPerSector);
  if (held) {
    if (m_hidden == 0 && CreateCarvedFile(m_run.subspan(at), sector, m_bytesPerSector, m_access)) m_hidden = sector;
  } else if (std::unique_ptr<CBaseFile> candidate = CreateCarvedFile(m_run.subspan(at), sector, m_bytesPerSector, m_access)) {
    m_nextSector = sector;
    if (EndPending() && m_hidden != 0) {
      // The candidate cut off was dropped: what it hid comes first.
      m_replayFrom = std::exchange(m_hidden, 0);
      return false;
    }
    m_hidden = 0;
    m_pending = std::move(candidate);
  }
  m_nextSector = sector + 1;
  if (!m_pending) return false;
  const int32_t result = m_pending->ExamineSector(sector, view, m_bytesPerSector, runLimitSector);
  if (result > 0) {
    m_pending->typeCode = result;
    completed.push_back(std::move(m_pending));
    m_hidden = 0;
    return true;
  }
  if (result == -1) {
    m_pending.reset();
    if (m_hidden != 0) m_replayFrom = std::exchange(m_hidden, 0);
  }
  return false;
}

void CandidateHolder::CutPending() {
  EndPending();
  m_hidden = 0;
}

bool CandidateHolder::EndPending() {
  if (!m_pending) return false;
  bool dropped = true;
  if (m_nextSector > m_pending->firstSector) {
    const int32_t type = m_pending->EndWhereCut(m_nextSector, m_bytesPerSector);
    if (type > 0) {
      m_pending->typeCode = type;
      completed.push_back(std::move(m_pending));
      dropped = false;
    }
  }
  m_pending.reset();
  return dropped;
}
