#pragma once
// The results tree: the drive node with the deleted-files, found-files and
// by-type nodes, and the directories of the scan below them.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ScanSession.h"

enum class NodeKind { Drive, DeletedFiles, FoundFiles, ByType, Directory, TypeFolder, Fat32Folder };

class CFolderEntry;

// Image indices of the tree's image list.
enum TreeImage : int { kImageFolder = 2, kImageDrive = 3 };

struct CTreeNode {
  std::string caption;
  uint32_t id = 0;  // the directory id of the node
  NodeKind kind = NodeKind::Directory;
  int image = kImageFolder;
  bool checked = false;
  CFolderEntry* folder = nullptr;  // the FAT32 folder a node stands for
  CTreeNode* parent = nullptr;
  std::vector<std::unique_ptr<CTreeNode>> children;

  CTreeNode* AddChild(std::string caption, uint32_t id, NodeKind kind);
  CTreeNode* FirstChild() const { return children.empty() ? nullptr : children.front().get(); }
};

class CFolderTree {
 public:
  // Builds the tree from the session, then empties its directory map.
  void BuildFolderTree(ScanSession& session);

  CTreeNode* GetDriveNode() const { return m_drive.get(); }
  CTreeNode* GetDeletedNode() const { return m_deleted; }
  CTreeNode* GetFoundNode() const { return m_found; }
  CTreeNode* GetByTypeNode() const { return m_byType; }
  // The node reached by captions joined with "/" below the drive node.
  CTreeNode* FindByPath(const std::string& path) const;
  // Captions from the drive node's child down to node, joined with "/".
  static std::string PathOf(const CTreeNode* node);
  // Every node, parents before children, siblings in tree order.
  std::vector<CTreeNode*> AllNodes() const;

  // Deeper chains are not followed; no file system nests folders this deep.
  static constexpr int kMaxDepth = 1024;

 private:
  void AddFolderChildren(CTreeNode* node, const CFolderEntry& folder, int depth);
  void AddDirectoryChildren(CTreeNode* node, const std::multimap<uint32_t, uint64_t>& children,
                            const ScanSession& session, int depth);

  std::unique_ptr<CTreeNode> m_drive;
  CTreeNode* m_deleted = nullptr;
  CTreeNode* m_found = nullptr;
  CTreeNode* m_byType = nullptr;
};
