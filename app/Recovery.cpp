#include "app/Recovery.h"

#include "app/PathNames.h"
#include "fat32/Folder.h"
#include "platform/FileDigest.h"
#include "platform/FileOutput.h"

const char* const kRecoveryReportName = "恢复报告.csv";

const char* const CRecovery::kRefusalText = "不能保存到此盘,请选择另外一个盘保存数据!";

CRecovery::CRecovery(CResultsModel& model) : m_model(model) {}

std::string CRecovery::RecoveryRoot(const std::string& targetFolder, char driveLetter) {
  std::string root = targetFolder;
  if (root.empty() || root.back() != kPathSeparator) root += kPathSeparator;
  root += driveLetter;
  root += "盘恢复的文件";
  return root;
}

bool CRecovery::IsRefused(const std::string& path, RecoveryReport* report) const {
  std::string disk;
  if (!IsPathOnDrive(path, m_model.Session().selectedDrive, &disk)) return false;
  report->refused = true;
  report->refusalText = std::string(kRefusalText) + "\n(" + disk + " is the disk being scanned)";
  return true;
}

bool CRecovery::RecoverFile(CDelFile& file, const std::string& path, std::string* reason) {
  std::lock_guard<std::mutex> lock(m_model.Session().readLock);
  const std::shared_ptr<CResilientDevice>& reader = m_model.Session().reader;
  const uint64_t before = reader ? reader->UnreadableCount() : 0;
  if (!file.RecoverTo(path, reason)) return false;
  // The file is written whole, with zeros where sectors could not be read,
  // but it is not a good recovery and is not counted as one.
  if (reader && reader->UnreadableCount() > before) {
    *reason = "unreadable sectors at " + reader->DescribeUnreadableSince(before) + ", written as zeros";
    return false;
  }
  return true;
}

RecoveryReport CRecovery::RecoverChecked(const std::string& targetFolder, const RecoveryProgress& progress) {
  m_report = RecoveryReport{};
  m_progress = progress;
  m_usedNames.clear();
  if (IsRefused(targetFolder, &m_report)) return m_report;
  const CTreeNode* drive = m_model.Tree().GetDriveNode();
  m_report.rootPath = RecoveryRoot(targetFolder, m_model.Session().selectedDrive);
  if (drive == nullptr || !drive->checked) return m_report;
  std::string reason;
  if (!CreateFolder(m_report.rootPath, &reason)) {
    m_report.failures.push_back(m_report.rootPath + ": " + reason);
    ++m_report.failed;
    return m_report;
  }
  RecoverLevel(drive, m_report.rootPath, 0);
  FinishReport();
  return m_report;
}

RecoveryReport CRecovery::RecoverRows(const std::vector<FileRow>& rows,
                                      const std::string& targetFolder,
                                      const RecoveryProgress& progress) {
  m_report = RecoveryReport{};
  m_progress = progress;
  m_usedNames.clear();
  if (IsRefused(targetFolder, &m_report)) return m_report;
  m_report.rootPath = RecoveryRoot(targetFolder, m_model.Session().selectedDrive);
  std::string reason;
  if (!CreateFolder(m_report.rootPath, &reason)) {
    m_report.failures.push_back(m_report.rootPath + ": " + reason);
    ++m_report.failed;
    return m_report;
  }
  for (const FileRow& row : rows) {
    if (row.file == nullptr) continue;
    // Worked out now when the background has not come to it yet.
    const FileCondition condition = m_model.Conditions().EnsureRow(row);
    if (!Wanted(condition)) continue;
    const uint64_t utcTime = row.foundIndex ? m_model.Session().foundFiles[*row.foundIndex].utcTime : 0;
    WriteFile(*row.file, m_report.rootPath, {"", row.name, row.size, condition, {}, false, {}}, utcTime);
    if (m_report.cancelled) break;
  }
  FinishReport();
  return m_report;
}

RecoveryReport CRecovery::RecoverOne(CDelFile& file, const std::string& path, uint64_t utcTime) {
  m_report = RecoveryReport{};
  if (IsRefused(path, &m_report)) return m_report;
  std::string reason;
  if (RecoverFile(file, path, &reason)) {
    ++m_report.written;
    if (utcTime != 0) SetFileModificationTime(path, utcTime);
  } else {
    ++m_report.failed;
    m_report.failures.push_back(path + ": " + reason);
  }
  return m_report;
}

void CRecovery::RecoverLevel(const CTreeNode* node, const std::string& path, int depth) {
  if (m_report.cancelled || depth > CFolderTree::kMaxDepth) return;
  RecoverNode(node, path);
  for (const auto& child : node->children) {
    if (!child->checked) continue;
    RecoverLevel(child.get(), path + kPathSeparator + SafePathName(child->caption), depth + 1);
  }
}

void CRecovery::RecoverNode(const CTreeNode* node, const std::string& path) {
  if (!node->checked) return;
  std::string reason;
  if (!CreateFolder(path, &reason)) {
    // Nothing below this folder can be written; every checked file there fails.
    m_report.failures.push_back(path + ": " + reason);
    ++m_report.failed;
    return;
  }
  const std::string treePath = CFolderTree::PathOf(node);
  CFileConditions& conditions = m_model.Conditions();
  if (node->folder != nullptr) {
    for (const auto& entry : node->folder->Files()) {
      if (!entry->checked) continue;
      const FileCondition condition = conditions.EnsureEntry(entry.get());
      if (!Wanted(condition)) continue;
      WriteFile(*entry, path, {treePath, entry->GetName(), entry->GetFileSize(), condition, {}, false, {}}, 0);
      if (m_report.cancelled) return;
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
    WriteFile(*file, path, {treePath, found.name, found.size, condition, {}, false, {}}, found.utcTime);
    if (m_report.cancelled) return;
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

void CRecovery::WriteFile(CDelFile& file, const std::string& folder, RecoveredFile entry, uint64_t utcTime) {
  // Two deleted files of one name in one folder both survive: the later is numbered.
  std::set<std::string>& used = m_usedNames[folder];
  const std::string safe = SafePathName(entry.name);
  std::string chosen = safe;
  for (unsigned n = 2; used.count(chosen) != 0; ++n) chosen = NumberedName(safe, n);
  used.insert(chosen);
  const std::string path = folder + kPathSeparator + chosen;
  if (m_progress && !m_progress(path, m_report)) {
    m_report.cancelled = true;
    return;
  }
  entry.path = path;
  if (RecoverFile(file, path, &entry.reason)) {
    ++m_report.written;
    m_report.bytesWritten += entry.size;
    entry.written = true;
    if (utcTime != 0) SetFileModificationTime(path, utcTime);
  } else {
    ++m_report.failed;
    m_report.failures.push_back(path + ": " + entry.reason);
  }
  m_report.files.push_back(std::move(entry));
}

void CRecovery::FinishReport() {
  // A recovered file of the report's name keeps its own: the report takes another.
  const std::set<std::string>& used = m_usedNames[m_report.rootPath];
  std::string name = kRecoveryReportName;
  for (unsigned n = 2; used.count(name) != 0; ++n) name = NumberedName(kRecoveryReportName, n);
  const std::string path = m_report.rootPath + kPathSeparator + name;
  if (WriteRecoveryReport(m_report, path, &m_report.reportError)) m_report.reportPath = path;
}

namespace {

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

bool WriteRecoveryReport(const RecoveryReport& report, const std::string& path, std::string* error) {
  // A byte order mark, so that spreadsheets read the Chinese names as UTF-8.
  std::string text = "\xEF\xBB\xBFtree path,name,size,condition,result,sha256,md5\r\n";
  for (const RecoveredFile& file : report.files) {
    FileDigests digests;
    std::string result = file.written ? "written" : "failed: " + file.reason;
    std::string why;
    // What was written, read back: a failed file keeps what reached the disk.
    const bool digested = DigestFile(file.path, &digests, &why);
    if (file.written && !digested) result = "written, but cannot be read back: " + why;
    text += CsvField(file.treePath) + "," + CsvField(file.name) + "," + std::to_string(file.size) + "," +
            ConditionName(file.condition) + "," + CsvField(result) + "," + digests.sha256 + "," + digests.md5 + "\r\n";
  }
  return WriteTextFile(path, text, error);
}

std::string RecoverySummaryText(const RecoveryReport& report, size_t failuresShown) {
  std::string text = "恢复完成";
  // Where the report is, or why there is none.
  std::string where;
  if (!report.reportPath.empty()) where.append("\n\n恢复报告: ").append(report.reportPath);
  if (!report.reportError.empty()) where.assign("\n\n恢复报告无法写入: ").append(report.reportError);
  if (report.skipped != 0) where.append("\n").append(std::to_string(report.skipped)).append(" 个文件因状态未恢复");
  if (report.failed == 0 && !report.cancelled) return text + where;
  if (report.cancelled) text += " (已取消)";
  text += "\n\n已恢复 " + std::to_string(report.written) + " 个文件, " + std::to_string(report.failed) +
          " 个文件失败";
  for (size_t i = 0; i < report.failures.size() && i < failuresShown; ++i) text += "\n" + report.failures[i];
  if (report.failures.size() > failuresShown) text += "\n......";
  return text + where;
}
