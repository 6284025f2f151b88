#pragma once
// Copying found files out: every checked node of the results tree into a
// folder tree below the user's folder, or one file to a chosen path.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/ResultsModel.h"

// One file a recovery run wrote, or tried to.
struct RecoveredFile {
  std::string treePath;  // the results tree's folder, "/"-separated
  std::string name;
  uint64_t size = 0;
  FileCondition condition = FileCondition::Pending;
  std::string path;    // where it was written
  bool written = false;
  std::string reason;  // why it failed
  WriteFault fault = WriteFault::None;
  std::string conditionWhy;  // why its condition is what it is (which clusters other files hold)
};

struct RecoveryReport {
  bool refused = false;      // the target lies on the scanned drive
  std::string refusalText;   // what the user is told then
  std::string rootPath;      // the recovery root that was written
  uint32_t written = 0;
  uint32_t failed = 0;
  uint64_t bytesWritten = 0;  // sizes of the files written in full
  bool cancelled = false;
  // The target filled up or failed: the run stopped there, and the file it was writing was removed.
  bool stopped = false;
  std::string stopReason;
  bool nothingChecked = false;  // no checked file to recover
  // "name: 中文原因 (the system's reason)", in the order they happened.
  std::vector<std::string> failures;
  uint32_t skipped = 0;  // files left out for their condition
  // Checked files a run that stopped or was cancelled never came to.
  uint32_t notAttempted = 0;
  std::vector<RecoveredFile> files;
  // The report written into the recovery root; reportError says why it could not be.
  std::string reportPath;
  std::string reportError;
};

// The report's name in the recovery root.
extern const char* const kRecoveryReportName;
// Writes the report of a run as CSV: tree path, name, size, condition,
// result, the SHA-256 and MD5 of each file as read back from where it was
// written, where it was written and why its condition is what it is. False,
// with the reason, when it cannot be written.
bool WriteRecoveryReport(const RecoveryReport& report, const std::string& path, std::string* error,
                         WriteFault* fault = nullptr);

// Told before each file; answering false stops the recovery there.
using RecoveryProgress = std::function<bool(const std::string& path, const RecoveryReport& soFar)>;

// What the user is told when a recovery run ends: "恢复完成", "已取消" or
// why it stopped; how many files were written, their size and where; how
// many failed, with the first failures.
std::string RecoverySummaryText(const RecoveryReport& report, size_t failuresShown = 5);
// What a write fault means to the user, in Chinese.
const char* WriteFaultText(WriteFault fault);

class CRecovery {
 public:
  explicit CRecovery(CResultsModel& model);

  static const char* const kRefusalText;

  // Every checked file, wherever it was checked (in a folder's list, by its
  // folder's box or among a search's matches), below targetFolder in the
  // folders of its tree path.
  RecoveryReport RecoverChecked(const std::string& targetFolder, const RecoveryProgress& progress = {});
  // Rows of the list (a search's matches) straight into the recovery root.
  RecoveryReport RecoverRows(const std::vector<FileRow>& rows, const std::string& targetFolder,
                             const RecoveryProgress& progress = {});
  // Only files in one of these conditions are written; all when empty. A
  // file's condition is worked out as it comes when it is not known yet.
  void SetConditionFilter(std::vector<FileCondition> conditions) { m_conditionFilter = std::move(conditions); }

  // One file to the path given, or to the next free name beside it.
  RecoveryReport RecoverOne(CDelFile& file, const std::string& path, uint64_t utcTime = 0);

  // How many files a recovery of the checked files would write.
  static size_t CheckedFileCount(const CResultsModel& model);
  // The nodes that hold a checked file, themselves or below them.
  static std::set<const CTreeNode*> NodesWithCheckedFiles(const CResultsModel& model);

 private:
  // Writes one file; a file that met unreadable sectors is written but fails.
  bool RecoverFile(CDelFile& file, const std::string& path, std::string* reason, WriteFault* fault);
  bool IsRefused(const std::string& path, RecoveryReport* report) const;
  void BeginRun(const RecoveryProgress& progress);
  // Creates the folder name in parent, or the next free name when something
  // else has it; the folder's path, or empty when it cannot be made.
  std::string MakeFolder(const std::string& parent, const std::string& name);
  bool MakeRoot(const std::string& targetFolder);
  void RecoverNode(const CTreeNode* node, const std::string& path);
  void RecoverLevel(const CTreeNode* node, const std::string& path, int depth);
  void NoteFailure(const std::string& name, WriteFault fault, const std::string& reason);
  // The run goes no further once cancelled or stopped.
  bool Ended() const { return m_report.cancelled || m_report.stopped; }
  // Whether a file of this condition is to be written; counts the ones that are not.
  bool Wanted(FileCondition condition);
  // makeSafe: the name came from the disk, not from the user.
  void WriteFile(CDelFile& file, const std::string& folder, RecoveredFile entry, uint64_t utcTime,
                 bool makeSafe = true);
  // Writes the report into the root once the run is over.
  void FinishReport();

  CResultsModel& m_model;
  RecoveryReport m_report;
  RecoveryProgress m_progress;
  std::vector<FileCondition> m_conditionFilter;
  // Names already written into each folder during this run.
  std::map<std::string, std::set<std::string>> m_usedNames;
  // The number the next file of a name in a folder starts from.
  std::map<std::string, unsigned> m_nextNumber;
  std::set<const CTreeNode*> m_withChecked;  // for the run under way
};
