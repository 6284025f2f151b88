#include "app/FolderTree.h"

#include <map>

#include "fat32/Folder.h"

CTreeNode* CTreeNode::AddChild(std::string childCaption, uint32_t childId, NodeKind childKind) {
  auto node = std::make_unique<CTreeNode>();
  node->caption = std::move(childCaption);
  node->id = childId;
  node->kind = childKind;
  node->parent = this;
  children.push_back(std::move(node));
  return children.back().get();
}

void CFolderTree::BuildFolderTree(ScanSession& session) {
  // Children of each directory id, in ascending key order, so that each
  // node finds its children without walking the whole map again.
  std::multimap<uint32_t, uint64_t> children;
  for (const auto& [key, dir] : session.directories) children.emplace(Low32(dir.parentRef), key);

  m_drive = std::make_unique<CTreeNode>();
  m_drive->caption = std::string(1, session.selectedDrive) + "盘";
  m_drive->id = 0;
  m_drive->kind = NodeKind::Drive;
  m_drive->image = kImageDrive;

  const bool fat32 = IsFatSource(session.resultSource);
  m_deleted = m_drive->AddChild("删除的文件", kRootDirectoryId, NodeKind::DeletedFiles);
  if (fat32) {
    // Without a root folder (the drive could not be read as FAT32) the node stays empty.
    m_deleted->folder = session.rootFolder.get();
    if (m_deleted->folder) AddFolderChildren(m_deleted, *m_deleted->folder, 1);
  } else {
    AddDirectoryChildren(m_deleted, children, session, 1);
  }
  m_found = m_drive->AddChild("找到的文件", kPlaceholderParentId, NodeKind::FoundFiles);
  if (fat32) {
    for (const auto& folder : session.foundFolders) {
      CTreeNode* child = m_found->AddChild(folder->GetName(), 0, NodeKind::Fat32Folder);
      child->folder = folder.get();
      AddFolderChildren(child, *folder, 2);
    }
  } else {
    AddDirectoryChildren(m_found, children, session, 1);
  }
  m_byType = nullptr;
  if (IsFatSource(session.resultSource) || session.resultSource == SourceOther ||
      session.recoveryMode == ModeUniversal) {
    m_byType = m_drive->AddChild("按类型分类的文件", Low32(kTypeFoldersParentId), NodeKind::ByType);
    AddDirectoryChildren(m_byType, children, session, 1);
  }
  session.directories.clear();
}

void CFolderTree::AddDirectoryChildren(CTreeNode* node,
                                       const std::multimap<uint32_t, uint64_t>& children,
                                       const ScanSession& session, int depth) {
  // Type folders hold carved files only; their ids are also directory ids.
  if (node->kind == NodeKind::TypeFolder || depth > kMaxDepth) return;
  auto [first, last] = children.equal_range(node->id);
  for (auto it = first; it != last; ++it) {
    const uint64_t key = it->second;
    // The placeholder for reference 0 is its own parent: shown once, not inside itself.
    if (node->kind == NodeKind::Directory && Low32(key) == node->id) continue;
    const DirectoryInfo& dir = session.directories.at(key);
    const NodeKind kind = node->kind == NodeKind::ByType ? NodeKind::TypeFolder : NodeKind::Directory;
    CTreeNode* child = node->AddChild(dir.name, Low32(key), kind);
    AddDirectoryChildren(child, children, session, depth + 1);
  }
}

void CFolderTree::AddFolderChildren(CTreeNode* node, const CFolderEntry& folder, int depth) {
  if (depth > kMaxDepth) return;
  for (CFolderEntry* sub : folder.SubFolders()) {
    if (!sub->HasContent()) continue;
    // An adopted folder can lead back to one above it: show each folder once per path.
    bool onPath = false;
    for (const CTreeNode* up = node; up; up = up->parent) onPath = onPath || up->folder == sub;
    if (onPath) continue;
    CTreeNode* child = node->AddChild(sub->GetName(), 0, NodeKind::Fat32Folder);
    child->folder = sub;
    AddFolderChildren(child, *sub, depth + 1);
  }
}

CTreeNode* CFolderTree::FindByPath(const std::string& path) const {
  CTreeNode* node = m_drive.get();
  size_t start = 0;
  while (node && start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (!part.empty()) {
      CTreeNode* next = nullptr;
      for (const auto& child : node->children) {
        if (child->caption == part) {
          next = child.get();
          break;
        }
      }
      node = next;
    }
    start = end + 1;
  }
  return node;
}

std::string CFolderTree::PathOf(const CTreeNode* node) {
  std::string path;
  for (; node && node->parent; node = node->parent) {
    path = path.empty() ? node->caption : node->caption + "/" + path;
  }
  return path;
}

std::vector<CTreeNode*> CFolderTree::AllNodes() const {
  std::vector<CTreeNode*> out;
  if (!m_drive) return out;
  std::vector<CTreeNode*> stack{m_drive.get()};
  while (!stack.empty()) {
    CTreeNode* node = stack.back();
    stack.pop_back();
    out.push_back(node);
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) stack.push_back(it->get());
  }
  return out;
}
