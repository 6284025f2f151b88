#include "ui/MarkupButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include "ui/Artwork.h"
#include "ui/Palette.h"
#include "uimodel/TextBlockCaption.h"

CMarkupButton* MakeMarkupButton(QWidget* parent, const char* name, const QRect& rect, const std::string& caption,
                                const QPixmap& picture) {
  auto* button = new CMarkupButton(parent);
  button->setObjectName(name);
  button->setGeometry(rect);
  button->SetMarkupCaption(caption);
  if (!picture.isNull()) button->SetPicture(picture);
  return button;
}

CMarkupButton::CMarkupButton(QWidget* parent) : QPushButton(parent) {
  setAttribute(Qt::WA_Hover);
  setCursor(Qt::PointingHandCursor);
}

void CMarkupButton::SetMarkupCaption(const std::string& caption) {
  const TextBlockCaption parsed = ParseTextBlockCaption(caption);
  m_color = parsed.hasColor ? QColor::fromRgb(parsed.rgb) : QColor(Qt::black);
  setText(QString::fromStdString(parsed.text));
  update();
}

void CMarkupButton::SetPicture(const QPixmap& picture) {
  m_picture = Artwork::WhiteTransparent(picture);
  update();
}

void CMarkupButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect().adjusted(0, 0, -1, -1);
  p.fillRect(rect(), Palette::kBackground);
  // The Office XP look: a blue frame and tint under the mouse, darker when pressed.
  if (isDown()) {
    p.fillRect(r, QColor(152, 181, 226));
    p.setPen(QColor(10, 36, 106));
    p.drawRect(r);
  } else if (underMouse() || hasFocus()) {
    p.fillRect(r, QColor(193, 210, 238));
    p.setPen(QColor(49, 106, 197));
    p.drawRect(r);
  }
  int textTop = 2;
  if (!m_picture.isNull()) {
    const int x = (width() - m_picture.width()) / 2;
    p.drawPixmap(x, 3, m_picture);
    textTop = 3 + m_picture.height();
  }
  p.setPen(isEnabled() ? m_color : QColor(160, 160, 160));
  p.setFont(font());
  p.drawText(QRect(0, textTop, width(), height() - textTop - 2), Qt::AlignHCenter | Qt::AlignVCenter, text());
}

void CMarkupButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    if (isEnabled()) animateClick();
    return;
  }
  QPushButton::keyPressEvent(event);
}
