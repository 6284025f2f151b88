#pragma once
// The results window: the checkable folder tree, the file list of the node
// selected, the preview of the file last clicked, recovery and search. The
// logic is the results model's and the recovery's; this window shows them.

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <memory>

#include "app/Recovery.h"
#include "app/ResultsModel.h"
#include "ui/HexView.h"
#include "ui/MarkupButton.h"
#include "ui/ResizeDialog.h"

class CQenloDlg : public CResizeDialog {
 public:
  explicit CQenloDlg(ScanSession& session, QWidget* parent = nullptr);

  CResultsModel& Model() { return m_model; }
  QTreeWidget* Tree() { return m_tree; }
  QTreeWidget* FileList() { return m_list; }
  QTabWidget* Tabs() { return m_tabs; }
  CHexView* HexPage() { return m_hex; }
  QLabel* PicturePage() { return m_picture; }
  QPlainTextEdit* TextPage() { return m_text; }
  CMarkupButton* RecoverButton() { return m_recover; }
  CMarkupButton* FindButton() { return m_find; }
  QCheckBox* HideOverwrittenBox() { return m_hideOverwritten; }
  // Shows the conditions found since the list was filled.
  void ShowConditions();
  QTreeWidgetItem* ItemOfNode(const CTreeNode* node) const;

  // Where the window asks the user for a target; tests answer instead.
  std::function<QString(QWidget*)> chooseFolder;
  std::function<QString(QWidget*, const QString& name)> chooseSaveFile;

  void ShowPreview(size_t row);
  void OnStartRecovery();
  void OnRecoverThisFile();
  void OnFindFiles();
  // The find dialog's search: the matches replace the list's rows.
  void FindAndList(const QString& text);
  // The report of the last recovery run.
  const RecoveryReport& LastReport() const { return m_lastReport; }
  QString TemporaryPicturePath() const;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildTreeItems(QTreeWidgetItem* parentItem, CTreeNode* node);
  void FillList();
  void SyncChecks();
  void OnHeaderClicked(int column);
  void OnTreeItemChanged(QTreeWidgetItem* item);
  void OnListItemChanged(QTreeWidgetItem* item, int column);
  void ShowPicture(const uint8_t* content, uint32_t length);
  void ShowZipListing(const uint8_t* content, uint32_t length);
  void ShowAbout();
  void ShowPage(QWidget* page, const QString& caption);
  int RowOfItem(QTreeWidgetItem* item) const;

  CResultsModel m_model;
  QTreeWidget* m_tree = nullptr;
  QTreeWidget* m_list = nullptr;
  QTabWidget* m_tabs = nullptr;
  CHexView* m_hex = nullptr;
  QLabel* m_picture = nullptr;
  QPlainTextEdit* m_text = nullptr;
  CMarkupButton* m_recover = nullptr;
  CMarkupButton* m_find = nullptr;
  QCheckBox* m_hideOverwritten = nullptr;
  QTimer m_conditionTimer;
  std::map<QTreeWidgetItem*, CTreeNode*> m_nodes;
  std::map<const CTreeNode*, QTreeWidgetItem*> m_items;
  std::vector<QIcon> m_listIcons;
  RecoveryReport m_lastReport;
};
