#pragma once
// The results window's logic without its widgets: the folder tree with its
// check boxes, the rows of the file list, and the search.

#include <memory>
#include <optional>
#include <unordered_map>
#include <string>
#include <vector>

#include "app/FileConditions.h"
#include "app/FolderTree.h"
#include "app/ScanSession.h"
#include "filetypes/CarvedFormats.h"
#include "volume/DelFile.h"

class CFileEntry;

// What the file list is sorted by.
enum class RowSort { None, Name, Size, Time, Type, Condition, Folder };

struct FileRow {
  std::string name;
  int image = 0;
  std::string sizeText;
  std::string timeText;
  std::string folder;  // the tree path of the node that lists it, for a search's matches
  bool checked = false;
  uint64_t size = 0;
  FoundKind kind = FoundKind::Ntfs;
  uint64_t number = 0;    // MFT record, first sector or first cluster, by kind
  int32_t typeCode = 0;   // carved files
  PreviewKind preview = PreviewKind::Hex;
  std::optional<size_t> foundIndex;  // the linked FoundFile, when there is one
  CFileEntry* folderEntry = nullptr; // the FAT entry, which keeps its own check
  CDelFile* file = nullptr;          // reads and writes the row's content
  std::shared_ptr<CDelFile> ownedFile;
};

class CResultsModel {
 public:
  explicit CResultsModel(ScanSession& session);

  CFolderTree& Tree() { return m_tree; }
  const CFolderTree& Tree() const { return m_tree; }
  ScanSession& Session() { return m_session; }
  const ScanSession& Session() const { return m_session; }
  CTreeNode* CurrentNode() const { return m_currentNode; }
  const std::vector<FileRow>& Rows() const { return m_rows; }

  // A node was selected: nodes that stand for folders refill the list.
  void SelectNode(CTreeNode* node);
  // The rows a node lists: its found files, or the files of its FAT32 folder.
  std::vector<FileRow> RowsOfNode(const CTreeNode* node) const;
  // Checks or unchecks every file a node lists.
  void SetFilesCheck(const CTreeNode* node, bool state);
  // The indices in foundFiles of the files a node lists.
  const std::vector<size_t>& FilesOfNode(const CTreeNode* node) const;
  // The object that reads and writes a found file's content.
  std::shared_ptr<CDelFile> MakeRecoverable(const FoundFile& file) const;

  // Check boxes.
  void SetNodeCheck(CTreeNode* node, bool state);
  void SetSubtreeCheck(CTreeNode* first, bool state);
  void PropagateCheckUp(CTreeNode* node, bool wasChecked);
  // A click on a node's check box, before the box toggles.
  void ClickNodeCheckBox(CTreeNode* node);
  // Checks or unchecks the folder and everything below it, whatever its box shows.
  void SetNodeChecked(CTreeNode* node, bool checked);
  // A click on a row's check box, before the box toggles.
  void ClickRowCheckBox(size_t row);

  // Lists every file whose name holds text, ignoring case, each with its
  // folder: the match count. No match leaves the list as it was.
  size_t FindFiles(const std::string& text);
  // Whether the list holds a search's matches rather than a node's files.
  bool ListsSearch() const { return m_listsSearch; }
  // The line the empty list shows: why the selected folder lists no file.
  std::string EmptyListText() const;
  // How many files a node lists (its own, not those of its children), less
  // those hidden as overwritten.
  size_t FileCountOfNode(const CTreeNode* node) const;
  // How many of the files a node lists are checked.
  size_t CheckedFileCountOfNode(const CTreeNode* node) const;
  // The files listed by each node and all the nodes below it.
  std::unordered_map<const CTreeNode*, size_t> SubtreeFileCounts() const;
  // Each folder's box as the files below it are checked: 2 all, 1 some, 0
  // none; a folder with no file below it shows its own flag.
  std::unordered_map<const CTreeNode*, int> FolderCheckStates() const;
  // The node the window opens on: the first folder that lists files, those
  // of deleted files first (carved files' type folders after them).
  CTreeNode* FirstNodeWithFiles() const;
  // Why a scan that found no file found none; empty when it found some.
  std::string NothingFoundText() const;

  // The list's order, kept across selections; None keeps the order found.
  void SortRows(RowSort key, bool ascending);
  RowSort SortKey() const { return m_sortKey; }
  bool SortAscending() const { return m_sortAscending; }
  // Leaves overwritten files out of the list (they stay checked as they were).
  void SetHideOverwritten(bool hide);
  bool HidesOverwritten() const { return m_hideOverwritten; }
  // Lists the current node again: conditions found since may hide rows.
  void RefreshRows();

  // The condition of every listed file, worked out once it is started.
  CFileConditions& Conditions() { return *m_conditions; }
  const CFileConditions& Conditions() const { return *m_conditions; }

 private:
  FileRow MakeRow(size_t foundIndex) const;
  // The foundFiles key (kind and parent id) of the files a node lists; none for the nodes that list none.
  static std::optional<uint64_t> ParentKeyOfNode(const CTreeNode* node);
  // Every listed file whose name holds text, ignoring case, with its folder.
  std::vector<FileRow> SearchMatches(const std::string& text) const;
  static FileRow MakeFolderRow(CFileEntry& entry);
  // Applies the filter and the order to m_rows.
  void ArrangeRows();

  ScanSession& m_session;
  // foundFiles indices by kind and parent id, so no node walks every file.
  std::unordered_map<uint64_t, std::vector<size_t>> m_filesByParent;
  CFolderTree m_tree;
  CTreeNode* m_currentNode = nullptr;
  std::vector<FileRow> m_rows;
  RowSort m_sortKey = RowSort::None;
  bool m_sortAscending = true;
  bool m_hideOverwritten = false;
  // A node's own files: shown, checked, and checked but hidden as
  // overwritten (checked while they were shown).
  struct NodeFileCounts {
    size_t shown = 0;
    size_t checked = 0;
    size_t hiddenChecked = 0;
  };
  NodeFileCounts CountFilesOfNode(const CTreeNode* node) const;
  // True when the file is hidden as overwritten.
  bool HiddenFound(size_t index) const;
  bool HiddenEntry(const CFileEntry* entry) const;
  // Carved files that start where a file listed by name does.
  size_t CarvedCopiesOfNamedFiles() const;
  bool m_listsSearch = false;
  std::string m_searchText;  // what the listed search looked for
  // Last, so that its thread stops before anything it reads goes.
  std::unique_ptr<CFileConditions> m_conditions;
};
