#pragma once
// The condition of every found file before it is recovered: whether its
// clusters went to other files since, and whether its content holds together
// as its format says. Worked out once after the scan, in the background, so
// that the results show at once and fill in.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "volume/DelFile.h"

class CResultsModel;
class CNtfsBitmapPages;
class CFileEntry;
struct FileRow;

enum class FileCondition : uint8_t { Pending, Intact, PartlyOverwritten, Overwritten, Corrupt, Unknown };

// "intact", "partly-overwritten", "overwritten", "corrupt", "unknown"; "pending" before it is known.
const char* ConditionName(FileCondition condition);
// The results window's words: "完好", "部分覆盖", "已覆盖", "已损坏", "未知"; empty while pending.
const char* ConditionCaption(FileCondition condition);
// The condition of a name, as ConditionName gives it.
std::optional<FileCondition> ConditionFromName(const std::string& name);
// The colour of a condition's word in the file list, as 0xRRGGBB.
uint32_t ConditionColour(FileCondition condition);
// A comma-separated list of names; false, with the offending name, when one is none.
bool ParseConditionList(const std::string& text, std::vector<FileCondition>* conditions, std::string* bad);

// Whether a cluster of the volume is in use now; empty when no allocation is known.
using ClusterUse = std::function<bool(uint64_t cluster)>;

struct ConditionVerdict {
  FileCondition condition = FileCondition::Unknown;
  std::string why;
};

// Works out one file's condition: its layout against the allocation, then
// its content (the first kCheckedBytes of it) against its format.
ConditionVerdict AssessFile(CDelFile& file, uint64_t size, const ClusterUse& used, uint64_t clusterLimit);
constexpr uint64_t kCheckedBytes = 64ull << 20;

// The conditions of every file the results list: found files by their index,
// FAT entries through their slot.
class CFileConditions {
 public:
  explicit CFileConditions(CResultsModel& model);
  ~CFileConditions();
  CFileConditions(const CFileConditions&) = delete;
  CFileConditions& operator=(const CFileConditions&) = delete;

  // Works them all out on a thread of its own; Stop or the destructor ends it.
  void Start();
  // Works them all out before returning, waiting for the thread when it runs.
  void RunHere();
  void Stop();

  FileCondition OfFound(size_t index) const;
  FileCondition OfEntry(const CFileEntry* entry) const;
  FileCondition OfRow(const FileRow& row) const;
  // The same, worked out here and now when it is not known yet (a recovery
  // does not wait for the rest). Not to be called holding the read lock.
  FileCondition EnsureFound(size_t index);
  FileCondition EnsureEntry(const CFileEntry* entry);
  FileCondition EnsureRow(const FileRow& row);
  std::string WhyOfRow(const FileRow& row) const;
  std::string WhyOfFound(size_t index) const;
  std::string WhyOfEntry(const CFileEntry* entry) const;
  size_t Known() const { return m_known.load(); }
  size_t Total() const { return m_slots.size(); }
  bool Finished() const { return Known() == Total(); }

 private:
  struct Subject {
    size_t foundIndex = SIZE_MAX;
    CFileEntry* entry = nullptr;
  };
  void Work();
  // Works out one slot unless another thread has it; waits for that thread then.
  FileCondition Ensure(size_t slot);
  ConditionVerdict AssessSubject(const Subject& subject);
  // The allocation, read once for whoever needs it first.
  void PrepareAllocation();
  size_t SlotOfRow(const FileRow& row) const;
  std::string WhyOfSlot(size_t slot) const;
  FileCondition Load(size_t slot) const;

  CResultsModel& m_model;
  std::vector<Subject> m_subjects;
  std::unordered_map<const CFileEntry*, size_t> m_entrySlots;
  std::vector<std::atomic<uint8_t>> m_slots;
  // Why each file is in its condition, as an index into the texts: a million
  // files share a handful of them. Written before the slot's condition is.
  std::vector<uint32_t> m_why;
  mutable std::mutex m_whyLock;
  std::vector<std::string> m_whyTexts{std::string()};
  std::unordered_map<std::string, uint32_t> m_whyIndex;
  std::atomic<size_t> m_known{0};
  std::atomic<bool> m_stop{false};
  std::unique_ptr<CNtfsBitmapPages> m_bitmap;  // NTFS's volume bitmap, read as needed
  std::once_flag m_allocationRead;
  ClusterUse m_used;
  uint64_t m_clusterLimit = 0;
  std::thread m_thread;
};
