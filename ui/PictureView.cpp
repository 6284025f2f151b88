#include "ui/PictureView.h"

#include <QPainter>

namespace {
constexpr int kMargin = 6;
}

CPictureView::CPictureView(QWidget* parent) : QWidget(parent) {
  setObjectName("picture");
  setAutoFillBackground(true);
  QPalette dark = palette();
  dark.setColor(QPalette::Window, Qt::black);
  setPalette(dark);
}

void CPictureView::SetPicture(const QImage& picture) {
  m_picture = picture;
  m_damaged = picture.isNull();
  setToolTip(SizeText());
  update();
}

void CPictureView::Clear() {
  m_picture = QImage();
  m_damaged = false;
  setToolTip(QString());
  update();
}

QString CPictureView::SizeText() const {
  if (m_picture.isNull()) return {};
  return QString::fromUtf8("原图大小%1×%2像素").arg(m_picture.width()).arg(m_picture.height());
}

QRect CPictureView::PictureRect() const {
  if (m_picture.isNull()) return {};
  const int line = fontMetrics().height();
  const QRect room = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin - line);
  if (room.width() <= 0 || room.height() <= 0) return {};
  // Never enlarged: a small picture is shown at its own size.
  QSize size = m_picture.size();
  if (size.width() > room.width() || size.height() > room.height()) size.scale(room.size(), Qt::KeepAspectRatio);
  QRect placed(QPoint(0, 0), size);
  placed.moveCenter(room.center());
  return placed;
}

void CPictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::white);
  if (m_damaged) {
    painter.drawText(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin), Qt::AlignLeft | Qt::AlignTop,
                     QString::fromUtf8("文件已损坏"));
    return;
  }
  const QRect placed = PictureRect();
  if (placed.isEmpty()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(placed, m_picture);
  painter.drawText(QRect(kMargin, height() - kMargin - fontMetrics().height(), width() - 2 * kMargin,
                         fontMetrics().height()),
                   Qt::AlignHCenter | Qt::AlignVCenter, SizeText());
}
