#include "app/Recovery.h"

#include "app/FileRows.h"
#include "app/PathNames.h"
#include "fat32/Folder.h"
#include "platform/FileDigest.h"
#include "platform/FileOutput.h"

const char* const kRecoveryReportName = "恢复报告.csv";

const char* const CRecovery::kRefusalText = "不能保存到此盘,请选择另外一个盘保存数据!";

CRecovery::CRecovery(CResultsModel& model) : m_model(model) {}

namespace {
// The folder below the user's that a recovery run writes into.
std::string RootFolderName(char driveLetter) { return std::string(1, driveLetter) + "盘恢复的文件"; }
}  // namespace

bool CRecovery::IsRefused(const std::string& path, RecoveryReport* report) const {
  std::string disk;
  if (!IsPathOnDrive(path, m_model.Session().selectedDrive, &disk)) return false;
  report->refused = true;
  report->refusalText = std::string(kRefusalText) + "\n(" + disk + " is the disk being scanned)";
  return true;
}

namespace {
// A folder full of earlier recoveries still has free names; beyond this many, something is wrong.
constexpr unsigned kMaxCandidates = 10000;

// Where the last separator of a path is; npos for a bare name.
size_t LastSeparator(const std::string& path) { return path.find_last_of(kPathSeparator == '\\' ? "\\/" : "/"); }

std::string FolderOf(const std::string& path) {
  const size_t separator = LastSeparator(path);
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string NameOf(const std::string& path) { return path.substr(LastSeparator(path) + 1); }

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == kPathSeparator ? folder + name : folder + kPathSeparator + name;
}
}  // namespace

const char* WriteFaultText(WriteFault fault) {
  switch (fault) {
    case WriteFault::None: return "";
    case WriteFault::SourceRead: return "无法读取被扫描的盘";
    case WriteFault::Overwritten: return "文件的数据已被其他文件覆盖";
    case WriteFault::Exists: return "目标位置已有同名文件";
    case WriteFault::NameTooLong: return "文件名太长";
    case WriteFault::TargetFull: return "目标盘空间不足";
    case WriteFault::TargetFailing: return "目标盘无法写入";
    default: return "无法写入目标";
  }
}

bool CRecovery::RecoverFile(CDelFile& file, const std::string& path, std::string* reason, WriteFault* fault) {
  std::lock_guard<std::mutex> lock(m_model.Session().readLock);
  const std::shared_ptr<CResilientDevice>& reader = m_model.Session().reader;
  const uint64_t before = reader ? reader->UnreadableCount() : 0;
  if (!file.RecoverTo(path, reason, fault)) return false;
  // The file is written whole, with zeros where sectors could not be read,
  // but it is not a good recovery and is not counted as one.
  if (reader && reader->UnreadableCount() > before) {
    *reason = "unreadable sectors at " + reader->DescribeUnreadableSince(before) + ", written as zeros";
    *fault = WriteFault::SourceRead;
    return false;
  }
  return true;
}

void CRecovery::NoteFailure(const std::string& name, WriteFault fault, const std::string& reason) {
  ++m_report.failed;
  m_report.failures.push_back(name + ": " + WriteFaultText(fault) + " (" + reason + ")");
  if (IsTargetFault(fault) && !m_report.stopped) {
    m_report.stopped = true;
    m_report.stopReason = WriteFaultText(fault);
  }
}

std::string CRecovery::MakeFolder(const std::string& parent, const std::string& name) {
  const std::string safe = SafePathName(name);
  std::string reason;
  WriteFault fault = WriteFault::None;
  for (unsigned n = 1; n <= kMaxCandidates; ++n) {
    const std::string path = JoinPath(parent, CandidateName(safe, n));
    fault = WriteFault::None;
    if (CreateFolder(path, &reason, &fault)) return path;
    if (fault != WriteFault::Exists) break;
  }
  NoteFailure(JoinPath(parent, safe), fault, reason);
  return {};
}

bool CRecovery::MakeRoot(const std::string& targetFolder) {
  m_report.rootPath = MakeFolder(targetFolder, RootFolderName(m_model.Session().selectedDrive));
  return !m_report.rootPath.empty();
}

size_t CRecovery::CheckedFileCount(const CResultsModel& model) {
  size_t count = 0;
  for (const CTreeNode* node : model.Tree().AllNodes()) count += model.CheckedFileCountOfNode(node);
  return count;
}

std::set<const CTreeNode*> CRecovery::NodesWithCheckedFiles(const CResultsModel& model) {
  std::set<const CTreeNode*> nodes;
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    if (model.CheckedFileCountOfNode(node) == 0) continue;
    // Up to the drive, or to a node already marked with all above it.
    const CTreeNode* up = node;
    while (up != nullptr && nodes.insert(up).second) up = up->parent;
  }
  return nodes;
}

void CRecovery::BeginRun(const RecoveryProgress& progress) {
  m_report = RecoveryReport{};
  m_progress = progress;
  m_usedNames.clear();
  m_nextNumber.clear();
}

RecoveryReport CRecovery::RecoverChecked(const std::string& targetFolder, const RecoveryProgress& progress) {
  BeginRun(progress);
  if (IsRefused(targetFolder, &m_report)) return m_report;
  const CTreeNode* drive = m_model.Tree().GetDriveNode();
  m_withChecked = NodesWithCheckedFiles(m_model);
  // Nothing is created for a run that would write nothing.
  if (drive == nullptr || m_withChecked.count(drive) == 0) {
    m_report.nothingChecked = true;
    return m_report;
  }
  if (!MakeRoot(targetFolder)) return m_report;
  RecoverLevel(drive, m_report.rootPath, 0);
  if (Ended()) {
    // Every checked file is accounted for: those the run never came to too.
    const size_t checked = CheckedFileCount(m_model);
    const size_t came = m_report.files.size() + m_report.skipped;
    m_report.notAttempted = static_cast<uint32_t>(checked > came ? checked - came : 0);
  }
  FinishReport();
  return m_report;
}

RecoveryReport CRecovery::RecoverRows(const std::vector<FileRow>& rows,
                                      const std::string& targetFolder,
                                      const RecoveryProgress& progress) {
  BeginRun(progress);
  if (IsRefused(targetFolder, &m_report)) return m_report;
  if (rows.empty()) {
    m_report.nothingChecked = true;
    return m_report;
  }
  if (!MakeRoot(targetFolder)) return m_report;
  for (const FileRow& row : rows) {
    if (row.file == nullptr) continue;
    // Worked out now when the background has not come to it yet.
    const FileCondition condition = m_model.Conditions().EnsureRow(row);
    if (!Wanted(condition)) continue;
    const uint64_t utcTime = row.foundIndex ? m_model.Session().foundFiles[*row.foundIndex].utcTime : 0;
    WriteFile(*row.file, m_report.rootPath,
              {row.folder, row.name, row.size, condition, {}, false, {}, {}, m_model.Conditions().WhyOfRow(row)}, utcTime);
    if (Ended()) break;
  }
  FinishReport();
  return m_report;
}

RecoveryReport CRecovery::RecoverOne(CDelFile& file, const std::string& path, uint64_t utcTime) {
  BeginRun({});
  if (IsRefused(path, &m_report)) return m_report;
  const std::string folder = FolderOf(path);
  m_report.rootPath = folder;
  // The chosen name is kept as it is; only a clash makes it "name (2)".
  WriteFile(file, folder, {"", NameOf(path), 0, FileCondition::Pending, {}, false, {}, {}, {}}, utcTime, false);
  return m_report;
}

void CRecovery::RecoverLevel(const CTreeNode* node, const std::string& path, int depth) {
  if (Ended() || depth > CFolderTree::kMaxDepth) return;
  RecoverNode(node, path);
  for (const auto& child : node->children) {
    if (Ended()) return;
    if (m_withChecked.count(child.get()) == 0) continue;
    const std::string folder = MakeFolder(path, child->caption);
    if (folder.empty()) continue;
    RecoverLevel(child.get(), folder, depth + 1);
  }
}

void CRecovery::RecoverNode(const CTreeNode* node, const std::string& path) {
  const std::string treePath = CFolderTree::PathOf(node);
  CFileConditions& conditions = m_model.Conditions();
  if (node->folder != nullptr) {
    for (const auto& entry : node->folder->Files()) {
      if (!entry->checked) continue;
      const FileCondition condition = conditions.EnsureEntry(entry.get());
      if (!Wanted(condition)) continue;
      WriteFile(*entry, path,
                {treePath, entry->GetName(), entry->GetFileSize(), condition, {}, false, {}, {},
                 conditions.WhyOfEntry(entry.get())},
                0);
      if (Ended()) return;
    }
    return;
  }
  ScanSession& session = m_model.Session();
  for (size_t i : m_model.FilesOfNode(node)) {
    const FoundFile& found = session.foundFiles[i];
    if (!found.checked) continue;
    std::shared_ptr<CDelFile> file = m_model.MakeRecoverable(found);
    if (!file) continue;
    const FileCondition condition = conditions.EnsureFound(i);
    if (!Wanted(condition)) continue;
    WriteFile(*file, path, {treePath, found.name, found.size, condition, {}, false, {}, {}, conditions.WhyOfFound(i)},
              found.utcTime);
    if (Ended()) return;
  }
}

bool CRecovery::Wanted(FileCondition condition) {
  if (m_conditionFilter.empty()) return true;
  for (FileCondition wanted : m_conditionFilter) {
    if (wanted == condition) return true;
  }
  ++m_report.skipped;
  return false;
}

void CRecovery::WriteFile(CDelFile& file, const std::string& folder, RecoveredFile entry, uint64_t utcTime,
                          bool makeSafe) {
  // Two files of one name in one folder both survive, and so does whatever
  // was there before: each later one takes the next free name.
  std::set<std::string>& used = m_usedNames[folder];
  const std::string safe = makeSafe ? SafePathName(entry.name) : entry.name;
  // Many files of one name go on from the last number given, not from 1 each time.
  unsigned& next = m_nextNumber[folder + kPathSeparator + safe];
  if (next == 0) next = 1;
  bool told = false;
  entry.fault = WriteFault::Exists;
  for (unsigned n = next; n < next + kMaxCandidates; ++n) {
    const std::string chosen = CandidateName(safe, n);
    if (used.count(chosen) != 0) continue;
    const std::string path = JoinPath(folder, chosen);
    if (!told) {
      told = true;
      if (m_progress && !m_progress(path, m_report)) {
        m_report.cancelled = true;
        return;
      }
    }
    entry.path = path;
    entry.fault = WriteFault::None;
    entry.reason.clear();
    const bool written = RecoverFile(file, path, &entry.reason, &entry.fault);
    if (written || entry.fault != WriteFault::Exists) {
      next = n + 1;
      break;
    }
  }
  if (entry.fault == WriteFault::Exists) {
    entry.reason = "every name up to \"" + CandidateName(safe, next + kMaxCandidates - 1) + "\" is taken";
  }
  if (!entry.path.empty()) used.insert(NameOf(entry.path));
  if (entry.fault == WriteFault::None && !entry.path.empty()) {
    ++m_report.written;
    m_report.bytesWritten += entry.size;
    entry.written = true;
    if (utcTime != 0) SetFileModificationTime(entry.path, utcTime);
  } else {
    // A file cut short by a full or failing target would pass for recovered: it goes.
    if (IsTargetFault(entry.fault)) RemoveFile(entry.path);
    NoteFailure(entry.path.empty() ? entry.name : entry.path, entry.fault, entry.reason);
  }
  m_report.files.push_back(std::move(entry));
}

void CRecovery::FinishReport() {
  // A recovered file of the report's name, or an earlier run's report, keeps its own: the report takes another.
  const std::set<std::string>& used = m_usedNames[m_report.rootPath];
  for (unsigned n = 1; n <= kMaxCandidates; ++n) {
    const std::string name = CandidateName(kRecoveryReportName, n);
    if (used.count(name) != 0) continue;
    const std::string path = JoinPath(m_report.rootPath, name);
    WriteFault fault = WriteFault::None;
    m_report.reportError.clear();
    if (WriteRecoveryReport(m_report, path, &m_report.reportError, &fault)) {
      m_report.reportPath = path;
      return;
    }
    if (fault != WriteFault::Exists) return;
  }
}

namespace {

// Where a file went, below the recovery root: the name the target could hold.
std::string WrittenAs(const std::string& path, const std::string& root) {
  if (!root.empty() && path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0) {
    return path.substr(root.size() + 1);
  }
  return path;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

}  // namespace

bool WriteRecoveryReport(const RecoveryReport& report, const std::string& path, std::string* error, WriteFault* fault) {
  // A byte order mark, so that spreadsheets read the Chinese names as UTF-8.
  std::string text = "\xEF\xBB\xBFtree path,name,size,condition,result,sha256,md5,written as,condition detail\r\n";
  for (const RecoveredFile& file : report.files) {
    FileDigests digests;
    std::string result = file.written ? "written" : "failed: " + file.reason;
    std::string why;
    // What was written, read back: a failed file keeps what reached the disk.
    const bool digested = DigestFile(file.path, &digests, &why);
    if (file.written && !digested) result = "written, but cannot be read back: " + why;
    text += CsvField(file.treePath) + "," + CsvField(file.name) + "," + std::to_string(file.size) + "," +
            ConditionName(file.condition) + "," + CsvField(result) + "," + digests.sha256 + "," + digests.md5 + "," +
            CsvField(WrittenAs(file.path, report.rootPath)) + "," + CsvField(file.conditionWhy) + "\r\n";
  }
  return WriteTextFile(path, text, error, fault);
}

std::string RecoverySummaryText(const RecoveryReport& report, size_t failuresShown) {
  if (report.refused) return report.refusalText;
  if (report.nothingChecked) return "没有选中要恢复的文件";
  std::string text;
  if (report.cancelled) {
    text = "已取消";
  } else if (report.stopped) {
    text.assign("恢复已停止: ").append(report.stopReason);
  } else if (report.failed == 0) {
    text = "恢复完成";
  } else {
    // "Done" alone would pass failed files off as recovered.
    text = report.written == 0 ? "恢复失败" : "恢复完成, 部分文件失败";
  }
  text.append("\n\n已恢复 ").append(std::to_string(report.written)).append(" 个文件, 共 ");
  text.append(FormatSize(report.bytesWritten));
  if (report.failed != 0) {
    text.append("\n").append(std::to_string(report.failed)).append(" 个文件失败:");
    for (size_t i = 0; i < report.failures.size() && i < failuresShown; ++i) text.append("\n").append(report.failures[i]);
    if (report.failures.size() > failuresShown) text += "\n......";
  }
  if (report.skipped != 0) text.append("\n").append(std::to_string(report.skipped)).append(" 个文件因状态未恢复");
  if (report.notAttempted != 0) {
    text.append("\n").append(std::to_string(report.notAttempted)).append(" 个选中的文件没有尝试恢复");
  }
  if (!report.rootPath.empty()) text.append("\n\n恢复到: ").append(report.rootPath);
  if (!report.reportPath.empty()) text.append("\n恢复报告: ").append(report.reportPath);
  if (!report.reportError.empty()) text.append("\n恢复报告无法写入: ").append(report.reportError);
  return text;
}
