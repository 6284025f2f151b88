#include "app/ResultsModel.h"

#include "app/FileRows.h"
#include "app/Preview.h"
#include "fat32/Folder.h"
#include "filetypes/BaseFile.h"
#include "ntfs/NTFSDelFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <unordered_set>

namespace {
uint64_t ParentKey(FoundKind kind, uint32_t parent) {
  return (static_cast<uint64_t>(kind) << 32) | parent;
}
}  // namespace

CResultsModel::CResultsModel(ScanSession& session) : m_session(session) {
  for (size_t i = 0; i < session.foundFiles.size(); ++i) {
    const FoundFile& f = session.foundFiles[i];
    m_filesByParent[ParentKey(f.kind, Low32(f.parentRef))].push_back(i);
  }
  m_tree.BuildFolderTree(session);
  m_conditions = std::make_unique<CFileConditions>(*this);
  SelectNode(m_tree.GetDeletedNode());
}

std::optional<uint64_t> CResultsModel::ParentKeyOfNode(const CTreeNode* node) {
  switch (node->kind) {
    case NodeKind::DeletedFiles:
    case NodeKind::Directory:
      return ParentKey(FoundKind::Ntfs, node->id);
    case NodeKind::TypeFolder:
      return ParentKey(FoundKind::Carved, node->id);
    default:
      return std::nullopt;
  }
}

const std::vector<size_t>& CResultsModel::FilesOfNode(const CTreeNode* node) const {
  static const std::vector<size_t> kNone;
  const std::optional<uint64_t> key = ParentKeyOfNode(node);
  if (!key) return kNone;
  auto it = m_filesByParent.find(*key);
  return it == m_filesByParent.end() ? kNone : it->second;
}

std::shared_ptr<CDelFile> CResultsModel::MakeRecoverable(const FoundFile& file) const {
  if (file.kind == FoundKind::Ntfs) {
    return std::make_shared<CNTFSDelFile>(Low32(file.id), m_session.recordPrototype.get());
  }
  if (file.kind == FoundKind::Carved && file.id < m_session.carvedFiles.size()) {
    // The session owns carved files; the row only refers to one.
    return std::shared_ptr<CDelFile>(std::shared_ptr<CDelFile>(), m_session.carvedFiles[file.id].get());
  }
  return nullptr;
}

FileRow CResultsModel::MakeFolderRow(CFileEntry& entry) {
  FileRow row;
  row.name = entry.GetName();
  row.image = kImageFatFile;
  row.size = entry.GetFileSize();
  row.sizeText = FormatSize(row.size);
  row.timeText = entry.TimeText();
  row.kind = FoundKind::Fat32;
  row.number = entry.GetFirstCluster();
  row.preview = PreviewKindForName(row.name);
  row.checked = entry.checked;
  row.folderEntry = &entry;
  row.file = &entry;
  return row;
}

std::vector<FileRow> CResultsModel::RowsOfNode(const CTreeNode* node) const {
  std::vector<FileRow> rows;
  if (node->folder != nullptr) {
    for (const auto& entry : node->folder->Files()) rows.push_back(MakeFolderRow(*entry));
    return rows;
  }
  const std::vector<size_t>& files = FilesOfNode(node);
  rows.reserve(files.size());
  for (size_t i : files) rows.push_back(MakeRow(i));
  return rows;
}

FileRow CResultsModel::MakeRow(size_t foundIndex) const {
  const FoundFile& found = m_session.foundFiles[foundIndex];
  FileRow row;
  row.name = found.name;
  row.image = ImageForName(found.name);
  row.sizeText = FormatSize(found.size);
  row.timeText = TimeColumnText(found.time);
  row.checked = found.checked != 0;
  row.size = found.size;
  row.foundIndex = foundIndex;
  row.kind = found.kind;
  row.number = found.id;
  row.preview = PreviewKindForName(found.name);
  if (found.kind == FoundKind::Carved && found.id < m_session.carvedFiles.size()) {
    row.number = m_session.carvedFiles[found.id]->firstSector;
    row.typeCode = m_session.carvedFiles[found.id]->typeCode;
    // A carved file is what its format's table entry says, whatever its name.
    if (const CarvedKind* kind = FindCarvedKind(row.typeCode)) {
      row.image = kind->icon;
      row.preview = kind->preview;
    }
  }
  row.ownedFile = MakeRecoverable(found);
  row.file = row.ownedFile.get();
  return row;
}

void CResultsModel::SelectNode(CTreeNode* node) {
  m_currentNode = node;
  if (node == nullptr) return;
  // A folder that holds only folders lists nothing: the files of the one
  // selected before are not its own.
  m_rows = RowsOfNode(node);
  m_listsSearch = false;
  ArrangeRows();
}

std::string CResultsModel::EmptyListText() const {
  if (!m_rows.empty() || m_currentNode == nullptr) return {};
  if (m_listsSearch) return {};
  if (FileCountOfNode(m_currentNode) != 0) return "此文件夹中的文件都已隐藏 (隐藏已覆盖的文件)。";
  if (!m_currentNode->children.empty()) return "此文件夹中只有文件夹, 文件在其下的文件夹中。";
  return "此文件夹中没有文件。";
}

void CResultsModel::RefreshRows() {
  // A search lists its matches again, so that rows the filter hid come back.
  if (m_listsSearch) {
    m_rows = SearchMatches(m_searchText);
    ArrangeRows();
    return;
  }
  if (m_currentNode != nullptr) SelectNode(m_currentNode);
}

void CResultsModel::SortRows(RowSort key, bool ascending) {
  m_sortKey = key;
  m_sortAscending = ascending;
  ArrangeRows();
}

void CResultsModel::SetHideOverwritten(bool hide) {
  m_hideOverwritten = hide;
  RefreshRows();
}

namespace {
// Files most worth recovering first.
int ConditionRank(FileCondition condition) {
  switch (condition) {
    case FileCondition::Intact: return 0;
    case FileCondition::PartlyOverwritten: return 1;
    case FileCondition::Unknown: return 2;
    case FileCondition::Corrupt: return 3;
    case FileCondition::Overwritten: return 4;
    default: return 5;
  }
}
}  // namespace

void CResultsModel::ArrangeRows() {
  if (m_hideOverwritten) {
    std::erase_if(m_rows, [&](const FileRow& row) { return m_conditions->OfRow(row) == FileCondition::Overwritten; });
  }
  if (m_sortKey == RowSort::None) return;
  auto less = [&](const FileRow& a, const FileRow& b) {
    switch (m_sortKey) {
      case RowSort::Name: return Utf8ToLower(a.name) < Utf8ToLower(b.name);
      case RowSort::Size: return a.size < b.size;
      case RowSort::Time: return a.timeText < b.timeText;
      case RowSort::Type: return TypeOfName(a.name) < TypeOfName(b.name);
      case RowSort::Folder: return a.folder < b.folder;
      case RowSort::Condition:
        return ConditionRank(m_conditions->OfRow(a)) < ConditionRank(m_conditions->OfRow(b));
      default: return false;
    }
  };
  std::stable_sort(m_rows.begin(), m_rows.end(), [&](const FileRow& a, const FileRow& b) {
    return m_sortAscending ? less(a, b) : less(b, a);
  });
}

void CResultsModel::SetNodeCheck(CTreeNode* node, bool state) {
  if (node == m_currentNode) {
    for (FileRow& row : m_rows) row.checked = state;
  }
  node->checked = state;
  SetFilesCheck(node, state);
}

void CResultsModel::SetFilesCheck(const CTreeNode* node, bool state) {
  // Files hidden as overwritten are not ticked with their folder: only what
  // the user can see is recovered.
  for (size_t i : FilesOfNode(node)) {
    if (!state || !HiddenFound(i)) m_session.foundFiles[i].checked = state ? 1 : 0;
  }
  if (node->folder != nullptr) {
    for (const auto& entry : node->folder->Files()) {
      if (!state || !HiddenEntry(entry.get())) entry->checked = state;
    }
  }
}

void CResultsModel::SetSubtreeCheck(CTreeNode* first, bool state) {
  if (first == nullptr || first->parent == nullptr) return;
  // Iterative, so a deep tree cannot exhaust the stack.
  std::vector<CTreeNode*> stack;
  bool started = false;
  for (const auto& sibling : first->parent->children) {
    if (sibling.get() == first) started = true;
    if (started) stack.push_back(sibling.get());
  }
  while (!stack.empty()) {
    CTreeNode* node = stack.back();
    stack.pop_back();
    SetNodeCheck(node, state);
    for (const auto& child : node->children) stack.push_back(child.get());
  }
}

void CResultsModel::PropagateCheckUp(CTreeNode* node, bool wasChecked) {
  while (node && node->parent) {
    if (wasChecked) {
      for (const auto& sibling : node->parent->children) {
        if (sibling.get() != node && sibling->checked) return;
      }
    }
    node->parent->checked = !wasChecked;
    node = node->parent;
  }
}

void CResultsModel::ClickNodeCheckBox(CTreeNode* node) {
  const bool was = node->checked;
  if (node == m_currentNode) {
    for (FileRow& row : m_rows) row.checked = !was;
  }
  SetFilesCheck(node, !was);
  PropagateCheckUp(node, was);
  SetSubtreeCheck(node->FirstChild(), !was);
  node->checked = !was;
}

void CResultsModel::SetNodeChecked(CTreeNode* node, bool checked) {
  // A click turns the box from the state the node holds.
  node->checked = !checked;
  ClickNodeCheckBox(node);
}

void CResultsModel::ClickRowCheckBox(size_t rowIndex) {
  if (rowIndex >= m_rows.size()) return;
  FileRow& row = m_rows[rowIndex];
  const bool was = row.checked;
  if (m_currentNode && !was) {
    m_currentNode->checked = true;
    PropagateCheckUp(m_currentNode, false);
  }
  if (row.foundIndex) m_session.foundFiles[*row.foundIndex].checked = was ? 0 : 1;
  if (row.folderEntry) row.folderEntry->checked = !was;
  row.checked = !was;
}

bool CResultsModel::HiddenFound(size_t index) const {
  return m_hideOverwritten && m_conditions->OfFound(index) == FileCondition::Overwritten;
}

bool CResultsModel::HiddenEntry(const CFileEntry* entry) const {
  return m_hideOverwritten && m_conditions->OfEntry(entry) == FileCondition::Overwritten;
}

CResultsModel::NodeFileCounts CResultsModel::CountFilesOfNode(const CTreeNode* node) const {
  NodeFileCounts counts;
  const auto tally = [&](bool checked, bool hidden) {
    counts.shown += hidden ? 0 : 1;
    counts.checked += checked ? 1 : 0;
    counts.hiddenChecked += checked && hidden ? 1 : 0;
  };
  if (node->folder != nullptr) {
    for (const auto& entry : node->folder->Files()) tally(entry->checked, HiddenEntry(entry.get()));
  } else {
    for (size_t i : FilesOfNode(node)) tally(m_session.foundFiles[i].checked != 0, HiddenFound(i));
  }
  return counts;
}

size_t CResultsModel::FileCountOfNode(const CTreeNode* node) const {
  if (!m_hideOverwritten) return node->folder != nullptr ? node->folder->Files().size() : FilesOfNode(node).size();
  return CountFilesOfNode(node).shown;
}

size_t CResultsModel::CheckedFileCountOfNode(const CTreeNode* node) const { return CountFilesOfNode(node).checked; }

std::unordered_map<const CTreeNode*, size_t> CResultsModel::SubtreeFileCounts() const {
  std::unordered_map<const CTreeNode*, size_t> counts;
  const std::vector<CTreeNode*> nodes = m_tree.AllNodes();
  // Parents come before children: adding up from the end reaches every parent after its children.
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    const CTreeNode* node = *it;
    counts[node] += FileCountOfNode(node);
    if (node->parent != nullptr) counts[node->parent] += counts[node];
  }
  // The drive counts each file once: a carved copy of a file listed by name is not another one.
  if (const CTreeNode* drive = m_tree.GetDriveNode()) counts[drive] -= std::min(counts[drive], CarvedCopiesOfNamedFiles());
  return counts;
}

size_t CResultsModel::CarvedCopiesOfNamedFiles() const {
  std::unordered_set<uint64_t> starts;
  for (const CTreeNode* node : m_tree.AllNodes()) {
    if (node->folder == nullptr) continue;
    for (const auto& entry : node->folder->Files()) {
      if (const uint64_t sector = entry->FirstDataSector(); sector != 0) starts.insert(sector);
    }
  }
  if (starts.empty()) return 0;
  size_t copies = 0;
  for (size_t i = 0; i < m_session.foundFiles.size(); ++i) {
    const FoundFile& f = m_session.foundFiles[i];
    if (f.kind != FoundKind::Carved || f.id >= m_session.carvedFiles.size() || HiddenFound(i)) continue;
    copies += starts.count(m_session.carvedFiles[f.id]->firstSector);
  }
  return copies;
}

std::unordered_map<const CTreeNode*, int> CResultsModel::FolderCheckStates() const {
  std::unordered_map<const CTreeNode*, std::pair<size_t, size_t>> counts;  // files, checked
  const std::vector<CTreeNode*> nodes = m_tree.AllNodes();
  // Parents come before children: adding up from the end reaches every parent after its children.
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    const CTreeNode* node = *it;
    auto& own = counts[node];
    // Hidden files checked while they were shown are still recovered: they count.
    const NodeFileCounts files = CountFilesOfNode(node);
    own.first += files.shown + files.hiddenChecked;
    own.second += files.checked;
    if (node->parent != nullptr) {
      auto& up = counts[node->parent];
      up.first += own.first;
      up.second += own.second;
    }
  }
  std::unordered_map<const CTreeNode*, int> states;
  for (const CTreeNode* node : nodes) {
    const auto [files, checked] = counts[node];
    states[node] = files == 0 ? (node->checked ? 2 : 0) : checked == 0 ? 0 : checked == files ? 2 : 1;
  }
  return states;
}

CTreeNode* CResultsModel::FirstNodeWithFiles() const {
  CTreeNode* deleted = m_tree.GetDeletedNode();
  if (deleted != nullptr && FileCountOfNode(deleted) != 0) return deleted;
  // An empty list reads as nothing found: the first folder of deleted files
  // that lists some, else the first folder that does (carved files' types).
  const auto below = [deleted](const CTreeNode* node) {
    for (; node != nullptr; node = node->parent) {
      if (node == deleted) return true;
    }
    return false;
  };
  const std::vector<CTreeNode*> nodes = m_tree.AllNodes();
  for (CTreeNode* node : nodes) {
    if (below(node) && FileCountOfNode(node) != 0) return node;
  }
  for (CTreeNode* node : nodes) {
    if (FileCountOfNode(node) != 0) return node;
  }
  return deleted;
}

std::string CResultsModel::NothingFoundText() const {
  if (m_tree.GetDriveNode() == nullptr) return {};
  for (const CTreeNode* node : m_tree.AllNodes()) {
    if (FileCountOfNode(node) != 0) return {};
  }
  std::string text = "没有找到文件。\n\n";
  if (m_session.fileSystem.empty()) {
    text += "此盘没有可识别的文件系统 (NTFS, FAT12/16/32, exFAT), ";
    text += "在整个盘上也没有找到已知格式的文件。";
  } else if (m_session.recoveryMode == ModeUniversal) {
    text.append(m_session.fileSystem).append(" 文件系统中没有已删除的文件, 空闲空间中也没有找到已知格式的文件。");
  } else {
    text.append(m_session.fileSystem).append(" 文件系统中没有已删除的文件。");
    text += "\n可以选择\"万能恢复\"模式, 在空闲空间中查找已知格式的文件。";
  }
  return text;
}

size_t CResultsModel::FindFiles(const std::string& text) {
  std::vector<FileRow> matches = SearchMatches(text);
  const size_t count = matches.size();
  if (count == 0) return 0;
  m_rows = std::move(matches);
  m_listsSearch = true;
  m_searchText = text;
  ArrangeRows();
  return count;
}

std::vector<FileRow> CResultsModel::SearchMatches(const std::string& text) const {
  const std::string query = Utf8ToLower(text);
  std::vector<FileRow> matches;
  // Every file the tree lists, carved files and each file system's alike, with the folder it is listed in.
  std::unordered_map<uint64_t, std::string> folderOfParent;
  for (const CTreeNode* node : m_tree.AllNodes()) {
    const std::string path = CFolderTree::PathOf(node);
    if (node->folder != nullptr) {
      for (const auto& entry : node->folder->Files()) {
        if (Utf8ToLower(entry->GetName()).find(query) == std::string::npos) continue;
        FileRow row = MakeFolderRow(*entry);
        row.folder = path;
        matches.push_back(std::move(row));
      }
    } else if (const std::optional<uint64_t> key = ParentKeyOfNode(node)) {
      folderOfParent.emplace(*key, path);
    }
  }
  for (size_t i = 0; i < m_session.foundFiles.size(); ++i) {
    const FoundFile& found = m_session.foundFiles[i];
    if (Utf8ToLower(found.name).find(query) == std::string::npos) continue;
    FileRow row = MakeRow(i);
    auto folder = folderOfParent.find(ParentKey(found.kind, Low32(found.parentRef)));
    if (folder != folderOfParent.end()) row.folder = folder->second;
    matches.push_back(std::move(row));
  }
  return matches;
}
