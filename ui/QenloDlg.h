#pragma once
// The results window: the checkable folder tree, the file list of the node
// selected, the preview of the current file, recovery and search. The logic
// is the results model's and the recovery's; this window shows them.

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <memory>

#include "app/Recovery.h"
#include "app/ResultsModel.h"
#include "ui/FileListModel.h"
#include "ui/HexView.h"
#include "ui/MarkupButton.h"
#include "ui/PictureView.h"
#include "ui/ResizeDialog.h"

class CQenloDlg : public CResizeDialog {
 public:
  explicit CQenloDlg(ScanSession& session, QWidget* parent = nullptr);
  ~CQenloDlg() override;

  CResultsModel& Model() { return m_model; }
  QTreeWidget* Tree() { return m_tree; }
  QTreeView* FileList() { return m_list; }
  CFileListModel* FileListModel() { return m_listModel; }
  QTabWidget* Tabs() { return m_tabs; }
  CHexView* HexPage() { return m_hex; }
  CPictureView* PicturePage() { return m_picture; }
  QPlainTextEdit* TextPage() { return m_text; }
  CMarkupButton* RecoverButton() { return m_recover; }
  CMarkupButton* FindButton() { return m_find; }
  QCheckBox* HideOverwrittenBox() { return m_hideOverwritten; }
  QSplitter* Splitter() { return m_splitter; }
  // Shows the conditions found since the list was filled.
  void ShowConditions();
  QTreeWidgetItem* ItemOfNode(const CTreeNode* node) const;

  // Where the window asks the user for a target and opens a folder (false
  // when nothing could open it); tests answer instead. The folder dialog
  // starts where the last recovery went.
  std::function<QString(QWidget*, const QString& start)> chooseFolder;
  std::function<QString(QWidget*, const QString& name)> chooseSaveFile;
  std::function<bool(const QString& folder)> openFolder;

  void ShowPreview(size_t row);
  void ClearPreview();
  void OnStartRecovery();
  void OnRecoverThisFile();
  void OnFindFiles();
  // The find dialog's search: the matches replace the list's rows; no match keeps them.
  void FindAndList(const QString& text);
  // The report of the last recovery run.
  const RecoveryReport& LastReport() const { return m_lastReport; }
  // Why the scan found nothing, told once the window is shown; empty when it found files.
  QString NothingFoundText() const;
  // True when the user, told nothing was found, chose to scan again.
  bool StartOverWanted() const { return m_startOver; }
  // The list's context menu at the current row, as the right button or Shift+F10 opens it.
  void OpenListMenu(const QPoint& at);
  void SetFolderChecked(CTreeNode* node, bool checked);
  void ShowEmptyListText();
  void PlaceEmptyListText();
  QLabel* EmptyListLabel() { return m_emptyList; }

  void reject() override;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildTreeItems(QTreeWidgetItem* parentItem, CTreeNode* node);
  void ShowTreeCounts();
  void FillList();
  void SyncChecks();
  void OnTreeItemChanged(QTreeWidgetItem* item);
  void ShowPicture(const uint8_t* content, uint32_t length);
  void ShowZipListing(const uint8_t* content, uint32_t length);
  void ShowAbout();
  void ShowPages(const std::vector<std::pair<QWidget*, QString>>& pages);
  int CurrentRow() const;
  bool HasUnrecoveredFiles() const;
  // After a recovery: what happened, with a button that opens the folder.
  void TellRecoveryEnded();

  CResultsModel m_model;
  QSplitter* m_splitter = nullptr;
  QTreeWidget* m_tree = nullptr;
  QTreeView* m_list = nullptr;
  CFileListModel* m_listModel = nullptr;
  QTabWidget* m_tabs = nullptr;
  CHexView* m_hex = nullptr;
  CPictureView* m_picture = nullptr;
  QPlainTextEdit* m_text = nullptr;
  CMarkupButton* m_recover = nullptr;
  CMarkupButton* m_find = nullptr;
  QCheckBox* m_hideOverwritten = nullptr;
  QTimer m_conditionTimer;
  std::map<QTreeWidgetItem*, CTreeNode*> m_nodes;
  std::map<const CTreeNode*, QTreeWidgetItem*> m_items;
  RecoveryReport m_lastReport;
  bool m_recoveredAny = false;
  // A recovery of the checked files ran to its end (one file saved alone is not that).
  bool m_recoveredChecked = false;
  bool m_startOver = false;       // the user chose to go back to the mode step
  QLabel* m_emptyList = nullptr;  // over the empty list: why it is empty
  QString m_lastTarget;  // the folder the last recovery went to
  bool m_toldNothingFound = false;
};
