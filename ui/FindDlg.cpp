#include "ui/FindDlg.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "ui/Palette.h"
#include "ui/QenloDlg.h"
#include "uimodel/ResizeRules.h"

CFindDlg::CFindDlg(CQenloDlg& results) : QDialog(&results), m_results(results) {
  setObjectName("CFindDlg");
  setWindowTitle(QString::fromUtf8("查找文件"));
  setFixedSize(DluX(290), DluY(145));
  auto* label = new QLabel(QString::fromUtf8("文件名或者文件扩展名"), this);
  label->setWordWrap(true);
  label->setGeometry(DluX(61) - 30, DluY(39), DluX(41) + 30, DluY(16));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_edit = new QLineEdit(this);
  m_edit->setObjectName("edit1007");
  m_edit->setGeometry(DluX(105), DluY(40), DluX(130), DluY(14));
  auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
  ok->setObjectName("ok");
  ok->setGeometry(DluX(82), DluY(90), DluX(50), DluY(14));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
  cancel->setObjectName("cancel");
  cancel->setGeometry(DluX(166), DluY(91), DluX(50), DluY(14));
  connect(ok, &QPushButton::clicked, this, &CFindDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CFindDlg::reject);
}

void CFindDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Palette::kBackground);
}

void CFindDlg::accept() {
  findText = m_edit->text();
  m_results.FindAndList(findText);
  QDialog::accept();
}
