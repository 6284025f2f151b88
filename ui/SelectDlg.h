#pragma once
// The second wizard step: the fixed and removable drives with their file
// system and size. A double-click or "下一步" on a row chooses the drive.

#include <QTreeWidget>
#include <string>
#include <vector>

#include "app/DriveRows.h"
#include "ui/MarkupButton.h"
#include "ui/ResizeDialog.h"

struct ScanSession;
class QPushButton;

class CSelectDlg : public CResizeDialog {
 public:
  explicit CSelectDlg(ScanSession& session, QWidget* parent = nullptr);

  QTreeWidget* DriveList() { return m_list; }
  CMarkupButton* NextButton() { return m_next; }
  // Back to the mode step.
  CMarkupButton* BackButton() { return m_back; }
  QPushButton* AddImageButton() { return m_addImage; }
  // Registers an image file as a drive and lists it; false with a message box
  // when it cannot be read or is no disk image ("不是磁盘映像").
  bool AddImage(const QString& path);
  // What the add-image dialog offers first: disk images and containers.
  static QString ImageFileFilter();
  // Where the add-image button asks for a file; tests answer instead of a user.
  std::function<QString(QWidget*)> chooseImageFile;

 private:
  void FillRows();
  void OnNext();
  void OnDoubleClick(QTreeWidgetItem* item);
  bool Choose(char letter);

  ScanSession& m_session;
  QTreeWidget* m_list = nullptr;
  CMarkupButton* m_next = nullptr;
  CMarkupButton* m_back = nullptr;
  QPushButton* m_addImage = nullptr;
};
