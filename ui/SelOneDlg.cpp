#include "ui/SelOneDlg.h"

#include <memory>

#include "app/ScanSession.h"
#include "app/Wizard.h"
#include "ui/Artwork.h"
#include "ui/MessageBoxes.h"
#include "ui/Palette.h"

const char* const CSelOneDlg::kModeTexts[2] = {
    "<br><b>●删除文件恢复</b><br><font color=#6464E6>★适用于被直接删除。或从回收站里删除的文件</font><br><font "
    "color=#6464E6>★适用于装卸软件或病毒删除的文件</font>",
    "<br><b>●万能恢复</b><br><font color=#6464E6>★深度扫描丢失文件盘符</font><br><font "
    "color=#6464E6>★适用于文件名被破坏,方式一无法恢复的文件</font>",
};

CSelOneDlg::CSelOneDlg(ScanSession& session, QWidget* parent)
    : CResizeDialog(parent, 490, 346, true), m_session(session) {
  setObjectName("CSelOneDlg");
  m_session.recoveryMode = ModeNone;
  AddPaintedText(200, 50, QString::fromUtf8(Palette::kSupportLine));
  AddPaintedText(30, 100, QString::fromUtf8("1.请用鼠标双击选择最适合的恢复模式"));

  m_modeImages.push_back(Artwork::ModeIcon());
  // Once made, the list belongs to the dialog; without it only cancelling remains.
  auto list = std::make_unique<CHTMLListCtrl>();
  if (list->Create(this, QRect(QPoint(28, 118), QPoint(709, 539)))) {
    m_modeList = list.release();
    m_modeList->SetImageList(&m_modeImages);
    m_modeList->SetStyle(StyleBorder | StyleImages);
    const int32_t modes[2] = {ModeDeletedFiles, ModeUniversal};
    for (int i = 0; i < 2; ++i) {
      const int n = m_modeList->InsertItem(QString::fromUtf8(kModeTexts[i]), 0, ItemTypeMarkup, 108);
      if (HTMLListItem* item = m_modeList->GetItem(n)) item->data = modes[i];
    }
    m_modeList->SetNotifyHandler([this](const RichListNotify& n) { OnNotify(n); });
  }

  m_next = MakeMarkupButton(this, "next", QRect(DluX(217), DluY(14), DluX(50), DluY(41)), Palette::kNextCaption,
                            Artwork::NextButton());
  connect(m_next, &QPushButton::clicked, this, [this] { OnNext(); });

  if (m_modeList) AddResizeRule(m_modeList, {0, 0, 1, 1});
  AddResizeRule(m_next, {0, 0, 1, 0});
}

void CSelOneDlg::OnNotify(const RichListNotify& n) {
  if (n.code == NotifySelectionChanged && n.item != -1) m_session.recoveryMode = n.data;
  if (n.code == NotifyDoubleClick) done(kIdOk);
}

void CSelOneDlg::OnNext() {
  if (m_session.recoveryMode == ModeNone) {
    ShowMessageBox(this, QString::fromUtf8("请先选择最适合的恢复模式"));
    return;
  }
  done(kIdOk);
}
