#include "ui/ResizeDialog.h"

#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>

#include "app/Wizard.h"
#include "ui/Artwork.h"
#include "ui/Palette.h"

CResizeDialog::CResizeDialog(QWidget* parent, int widthDlu, int heightDlu, bool resizable)
    : QDialog(parent), m_initialSize(DluX(widthDlu), DluY(heightDlu)),
      m_banner(Artwork::WhiteTransparent(Artwork::Banner())) {
  setWindowTitle(QString::fromUtf8(Palette::kWindowTitle));
  setWindowIcon(Artwork::ApplicationIcon());
  resize(m_initialSize);
  if (resizable) {
    setMinimumSize(m_initialSize);
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
  } else {
    setFixedSize(m_initialSize);
    setWindowFlag(Qt::WindowMinimizeButtonHint);
  }
  setSizeGripEnabled(false);
}

void CResizeDialog::AddResizeRule(QWidget* widget, ResizeFractions fractions) {
  const QRect g = widget->geometry();
  m_rules.push_back({widget, {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()}, fractions});
}

void CResizeDialog::AddPaintedText(int x, int y, const QString& text) { m_texts.push_back({x, y, text}); }

void CResizeDialog::reject() { done(kIdCancel); }

void CResizeDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Palette::kBackground);
  p.drawPixmap(0, 0, m_banner);
  p.setPen(Palette::kInstruction);
  const QFontMetrics metrics(font());
  // Text is placed by the top of its cell, as the platform's text output does.
  for (const PaintedText& t : m_texts) p.drawText(t.x, t.y + metrics.ascent(), t.text);
  PaintExtra(p);
}

void CResizeDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int dw = width() - m_initialSize.width();
  const int dh = height() - m_initialSize.height();
  for (const Rule& rule : m_rules) {
    const MarkupRect r = ResizedRect(rule.original, rule.fractions, dw, dh);
    rule.widget->setGeometry(r.left, r.top, std::max(0, r.right - r.left), std::max(0, r.bottom - r.top));
  }
}
