#include "app/FileConditions.h"

#include <array>
#include <chrono>
#include <mutex>

#include "app/ResultsModel.h"
#include "fat32/Folder.h"
#include "filetypes/FormatCheck.h"
#include "ntfs/NTFSVolume.h"
#include "scan/NtfsScan.h"
#include "volume/VolumeAccess.h"

namespace {

struct ConditionWords {
  FileCondition condition;
  const char* name;
  const char* caption;
  uint32_t colour;
};
constexpr std::array<ConditionWords, 6> kWords{{
    {FileCondition::Pending, "pending", "", 0x808080},
    {FileCondition::Intact, "intact", "完好", 0x1E8C32},
    {FileCondition::PartlyOverwritten, "partly-overwritten", "部分覆盖", 0xC87800},
    {FileCondition::Overwritten, "overwritten", "已覆盖", 0xC81E1E},
    {FileCondition::Corrupt, "corrupt", "已损坏", 0x9C27B0},
    {FileCondition::Unknown, "unknown", "未知", 0x606060},
}};

const ConditionWords& WordsOf(FileCondition condition) {
  for (const ConditionWords& words : kWords) {
    if (words.condition == condition) return words;
  }
  return kWords.front();
}

// How many of a layout's clusters are in use now, and how many it has; false
// when the runs name more clusters than the volume holds.
bool CountUsedClusters(const ContentLayout& layout, const ClusterUse& used, uint64_t clusterLimit, uint64_t* inUse,
                       uint64_t* total) {
  *inUse = *total = 0;
  for (const ContentRun& run : layout.runs) {
    if (run.clusterCount > clusterLimit - *total) return false;
    *total += run.clusterCount;
    for (uint64_t c = 0; c < run.clusterCount; ++c) *inUse += used(run.firstCluster + c) ? 1 : 0;
  }
  return true;
}

}  // namespace

const char* ConditionName(FileCondition condition) { return WordsOf(condition).name; }
const char* ConditionCaption(FileCondition condition) { return WordsOf(condition).caption; }
uint32_t ConditionColour(FileCondition condition) { return WordsOf(condition).colour; }

std::optional<FileCondition> ConditionFromName(const std::string& name) {
  for (const ConditionWords& words : kWords) {
    if (name == words.name && words.condition != FileCondition::Pending) return words.condition;
  }
  return std::nullopt;
}

bool ParseConditionList(const std::string& text, std::vector<FileCondition>* conditions, std::string* bad) {
  conditions->clear();
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string name = text.substr(start, comma - start);
    const std::optional<FileCondition> condition = ConditionFromName(name);
    if (!condition) {
      *bad = name;
      return false;
    }
    conditions->push_back(*condition);
    start = comma + 1;
  }
  return true;
}

ConditionVerdict AssessFile(CDelFile& file, uint64_t size, const ClusterUse& used, uint64_t clusterLimit) {
  const ContentLayout layout = file.Layout();
  if (layout.place == ContentPlace::Reused) return {FileCondition::Overwritten, layout.why};
  if (size == 0) return {FileCondition::Unknown, "an empty file"};
  if (layout.place == ContentPlace::Unknown) {
    return {FileCondition::Unknown, layout.why.empty() ? "where its content lies is not known" : layout.why};
  }
  if (layout.place == ContentPlace::Clusters && used) {
    uint64_t inUse = 0, total = 0;
    if (!CountUsedClusters(layout, used, clusterLimit, &inUse, &total)) {
      return {FileCondition::Corrupt, "its runs name more clusters than the volume has"};
    }
    if (total > 0 && inUse == total) {
      return {FileCondition::Overwritten, "all " + std::to_string(total) + " of its clusters are in use by other files"};
    }
    if (inUse > 0) {
      return {FileCondition::PartlyOverwritten,
              std::to_string(inUse) + " of its " + std::to_string(total) + " clusters are in use by other files"};
    }
  }
  if (size > kCheckedBytes) return {FileCondition::Unknown, "larger than the check reads"};
  std::vector<uint8_t> content;
  std::string error;
  if (!file.ReadHead(kCheckedBytes, &content, &error)) return {FileCondition::Corrupt, error};
  const FormatCheck check = CheckFileFormat(ByteSpan(content));
  switch (check.verdict) {
    case FormatVerdict::Passed: return {FileCondition::Intact, {}};
    case FormatVerdict::Failed: return {FileCondition::Corrupt, check.why};
    default: return {FileCondition::Unknown, check.why};
  }
}

CFileConditions::CFileConditions(CResultsModel& model) : m_model(model) {
  const ScanSession& session = model.Session();
  for (size_t i = 0; i < session.foundFiles.size(); ++i) m_subjects.push_back({i, nullptr});
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    if (node->folder == nullptr) continue;
    for (const auto& entry : node->folder->Files()) {
      if (m_entrySlots.emplace(entry.get(), m_subjects.size()).second) m_subjects.push_back({SIZE_MAX, entry.get()});
    }
  }
  m_slots = std::vector<std::atomic<uint8_t>>(m_subjects.size());
  m_why.resize(m_subjects.size());
}

CFileConditions::~CFileConditions() { Stop(); }

void CFileConditions::Start() {
  if (m_thread.joinable() || Finished()) return;
  m_thread = std::thread([this] { Work(); });
}

void CFileConditions::RunHere() {
  if (m_thread.joinable()) m_thread.join();
  Work();
}

void CFileConditions::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  m_stop = false;
}

namespace {
// A slot's value while a thread works it out.
constexpr uint8_t kWorking = 0xFF;
}  // namespace

void CFileConditions::PrepareAllocation() {
  std::call_once(m_allocationRead, [this] {
    ScanSession& session = m_model.Session();
    std::lock_guard<std::mutex> lock(session.readLock);
    if (session.resultSource == SourceNtfs && session.ntfsVolume) {
      std::string why;
      m_bitmap = std::make_unique<CNtfsBitmapPages>(*session.ntfsVolume, &why);
      if (!m_bitmap->Holds()) return;
      m_clusterLimit = m_bitmap->ClusterCount();
      m_used = [this](uint64_t cluster) { return m_bitmap->IsUsed(cluster); };
    } else if (IsFatSource(session.resultSource) && session.volumeAccess) {
      CVolumeAccess* access = session.volumeAccess.get();
      m_clusterLimit = access->GetClusterCount();
      m_used = [access](uint64_t cluster) { return access->IsClusterUsed(cluster); };
    }
  });
}

ConditionVerdict CFileConditions::AssessSubject(const Subject& subject) {
  ScanSession& session = m_model.Session();
  // One file at a time, so that a preview waits for one file at most.
  std::lock_guard<std::mutex> lock(session.readLock);
  const uint64_t before = session.reader ? session.reader->UnreadableCount() : 0;
  ConditionVerdict verdict;
  if (subject.entry != nullptr) {
    verdict = AssessFile(*subject.entry, subject.entry->GetFileSize(), m_used, m_clusterLimit);
  } else {
    const FoundFile& found = session.foundFiles[subject.foundIndex];
    std::shared_ptr<CDelFile> file = m_model.MakeRecoverable(found);
    verdict = file ? AssessFile(*file, found.size, m_used, m_clusterLimit)
                   : ConditionVerdict{FileCondition::Unknown, "it cannot be read back"};
  }
  // Sectors that failed were read as zeros: the content seen is not the file's.
  if (session.reader && session.reader->UnreadableCount() > before) {
    verdict = {FileCondition::Corrupt, "unreadable sectors at " + session.reader->DescribeUnreadableSince(before)};
  }
  return verdict;
}

FileCondition CFileConditions::Ensure(size_t slot) {
  if (slot >= m_slots.size()) return FileCondition::Pending;
  uint8_t expected = static_cast<uint8_t>(FileCondition::Pending);
  if (m_slots[slot].compare_exchange_strong(expected, kWorking)) {
    PrepareAllocation();
    const ConditionVerdict verdict = AssessSubject(m_subjects[slot]);
    {
      std::lock_guard<std::mutex> lock(m_whyLock);
      auto [it, added] = m_whyIndex.emplace(verdict.why, static_cast<uint32_t>(m_whyTexts.size()));
      if (added) m_whyTexts.push_back(verdict.why);
      m_why[slot] = it->second;
    }
    m_slots[slot].store(static_cast<uint8_t>(verdict.condition));
    ++m_known;
    return verdict.condition;
  }
  // Another thread has it: one file's check is short.
  while (m_slots[slot].load() == kWorking) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return Load(slot);
}

void CFileConditions::Work() {
  for (size_t slot = 0; slot < m_subjects.size() && !m_stop; ++slot) Ensure(slot);
}

FileCondition CFileConditions::Load(size_t slot) const {
  if (slot >= m_slots.size()) return FileCondition::Pending;
  const uint8_t value = m_slots[slot].load();
  return value == kWorking ? FileCondition::Pending : static_cast<FileCondition>(value);
}

size_t CFileConditions::SlotOfRow(const FileRow& row) const {
  if (row.folderEntry != nullptr) {
    auto it = m_entrySlots.find(row.folderEntry);
    return it == m_entrySlots.end() ? SIZE_MAX : it->second;
  }
  return row.foundIndex && *row.foundIndex < m_model.Session().foundFiles.size() ? *row.foundIndex : SIZE_MAX;
}

FileCondition CFileConditions::OfFound(size_t index) const {
  return index < m_model.Session().foundFiles.size() ? Load(index) : FileCondition::Pending;
}

FileCondition CFileConditions::OfEntry(const CFileEntry* entry) const {
  auto it = m_entrySlots.find(entry);
  return it == m_entrySlots.end() ? FileCondition::Pending : Load(it->second);
}

FileCondition CFileConditions::OfRow(const FileRow& row) const { return Load(SlotOfRow(row)); }

FileCondition CFileConditions::EnsureFound(size_t index) {
  return index < m_model.Session().foundFiles.size() ? Ensure(index) : FileCondition::Pending;
}

FileCondition CFileConditions::EnsureEntry(const CFileEntry* entry) {
  auto it = m_entrySlots.find(entry);
  return it == m_entrySlots.end() ? FileCondition::Pending : Ensure(it->second);
}

FileCondition CFileConditions::EnsureRow(const FileRow& row) { return Ensure(SlotOfRow(row)); }

std::string CFileConditions::WhyOfRow(const FileRow& row) const { return WhyOfSlot(SlotOfRow(row)); }

std::string CFileConditions::WhyOfFound(size_t index) const {
  return WhyOfSlot(index < m_model.Session().foundFiles.size() ? index : SIZE_MAX);
}

std::string CFileConditions::WhyOfEntry(const CFileEntry* entry) const {
  const auto it = m_entrySlots.find(entry);
  return WhyOfSlot(it == m_entrySlots.end() ? SIZE_MAX : it->second);
}

std::string CFileConditions::WhyOfSlot(size_t slot) const {
  if (Load(slot) == FileCondition::Pending) return {};
  std::lock_guard<std::mutex> lock(m_whyLock);
  return m_whyTexts[m_why[slot]];
}
