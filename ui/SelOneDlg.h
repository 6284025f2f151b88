#pragma once
// The first wizard step: the two recovery modes as formatted paragraphs.
// A click chooses a mode; a double-click or "下一步" goes on.

#include <vector>

#include "ui/HTMLListCtrl.h"
#include "ui/MarkupButton.h"
#include "ui/ResizeDialog.h"

struct ScanSession;

class CSelOneDlg : public CResizeDialog {
 public:
  explicit CSelOneDlg(ScanSession& session, QWidget* parent = nullptr);

  CHTMLListCtrl* ModeList() { return m_modeList; }
  CMarkupButton* NextButton() { return m_next; }
  // The item texts of the two modes, in list order.
  static const char* const kModeTexts[2];

 private:
  void OnNotify(const RichListNotify& notify);
  void OnNext();

  ScanSession& m_session;
  std::vector<QPixmap> m_modeImages;
  CHTMLListCtrl* m_modeList = nullptr;
  CMarkupButton* m_next = nullptr;
};
