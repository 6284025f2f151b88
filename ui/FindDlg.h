#pragma once
// The find dialog: a piece of a file name or an extension; OK lists every
// matching file in the results window's file list and closes.

#include <QDialog>
#include <QLineEdit>

class CQenloDlg;

class CFindDlg : public QDialog {
 public:
  explicit CFindDlg(CQenloDlg& results);

  QLineEdit* FindEdit() { return m_edit; }
  QString findText;

  void accept() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CQenloDlg& m_results;
  QLineEdit* m_edit = nullptr;
};
