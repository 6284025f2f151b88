#include "ui/Artwork.h"

#include <QBitmap>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace Artwork {
namespace {
const QColor kGreen(116, 151, 25);
const QColor kBlue(44, 110, 190);

QPixmap WhiteCanvas(int w, int h) {
  QPixmap p(w, h);
  p.fill(Qt::white);
  return p;
}

void DrawDisk(QPainter& p, const QRectF& r) {
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient body(r.topLeft(), r.bottomLeft());
  body.setColorAt(0, QColor(214, 222, 232));
  body.setColorAt(1, QColor(140, 152, 170));
  p.setPen(QPen(QColor(80, 90, 110), 1));
  p.setBrush(body);
  p.drawRoundedRect(r, r.height() * 0.15, r.height() * 0.15);
  const qreal led = std::max<qreal>(2, r.height() * 0.18);
  p.setBrush(QColor(60, 200, 60));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(r.right() - led * 1.6, r.center().y()), led / 2, led / 2);
}
}  // namespace

QPixmap WhiteTransparent(const QPixmap& picture) {
  QPixmap out = picture;
  out.setMask(picture.createMaskFromColor(Qt::white, Qt::MaskInColor));
  return out;
}

QPixmap Banner() {
  QPixmap p = WhiteCanvas(187, 73);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  // A magnifier over a disk: finding what was lost.
  DrawDisk(g, QRectF(10, 26, 44, 26));
  g.setPen(QPen(kBlue, 4));
  g.setBrush(Qt::NoBrush);
  g.drawEllipse(QPointF(42, 30), 13, 13);
  g.setPen(QPen(kBlue, 6, Qt::SolidLine, Qt::RoundCap));
  g.drawLine(QPointF(51, 40), QPointF(60, 50));
  QFont title("Sans", 18, QFont::Bold);
  g.setFont(title);
  g.setPen(kBlue);
  g.drawText(QRect(70, 10, 115, 30), Qt::AlignLeft | Qt::AlignVCenter, "Marovi");
  QFont sub("Sans", 9);
  g.setFont(sub);
  g.setPen(kGreen);
  g.drawText(QRect(70, 40, 115, 22), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("数据恢复"));
  return p;
}

QPixmap NextButton() {
  QPixmap p = WhiteCanvas(60, 32);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QPainterPath arrow;
  arrow.moveTo(14, 10);
  arrow.lineTo(32, 10);
  arrow.lineTo(32, 3);
  arrow.lineTo(46, 16);
  arrow.lineTo(32, 29);
  arrow.lineTo(32, 22);
  arrow.lineTo(14, 22);
  arrow.closeSubpath();
  QLinearGradient fill(0, 3, 0, 29);
  fill.setColorAt(0, QColor(168, 206, 72));
  fill.setColorAt(1, kGreen);
  g.setPen(QPen(QColor(80, 110, 10), 1));
  g.setBrush(fill);
  g.drawPath(arrow);
  return p;
}

QPixmap BackButton() {
  // The next arrow turned round.
  return NextButton().transformed(QTransform().scale(-1, 1));
}

QPixmap FindButton() {
  QPixmap p = WhiteCanvas(60, 32);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(kGreen, 3));
  g.setBrush(QColor(230, 244, 200));
  g.drawEllipse(QPointF(27, 13), 9, 9);
  g.setPen(QPen(kGreen, 5, Qt::SolidLine, Qt::RoundCap));
  g.drawLine(QPointF(34, 20), QPointF(42, 28));
  return p;
}

QPixmap ModeIcon() {
  QPixmap p = WhiteCanvas(32, 32);
  QPainter g(&p);
  DrawDisk(g, QRectF(3, 10, 26, 14));
  g.setPen(QPen(kGreen, 3, Qt::SolidLine, Qt::RoundCap));
  g.drawLine(QPointF(10, 6), QPointF(16, 2));
  g.drawLine(QPointF(16, 2), QPointF(22, 6));
  return p;
}

QPixmap DriveIcon(int size) {
  QPixmap p = WhiteCanvas(size, size);
  QPainter g(&p);
  DrawDisk(g, QRectF(size * 0.08, size * 0.3, size * 0.84, size * 0.42));
  return p;
}

QPixmap HardDiskIcon(int size) { return DriveIcon(size); }

QPixmap FolderIcon(int size, bool open) {
  QPixmap p = WhiteCanvas(size, size);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 16.0;
  g.setPen(QPen(QColor(170, 130, 20), 1));
  g.setBrush(QColor(240, 200, 80));
  g.drawRect(QRectF(1 * s, 3 * s, 6 * s, 3 * s));
  g.drawRect(QRectF(1 * s, 4.5 * s, 14 * s, 9.5 * s));
  if (open) {
    g.setBrush(QColor(252, 224, 128));
    QPolygonF flap({QPointF(3 * s, 7.5 * s), QPointF(15.5 * s, 7.5 * s), QPointF(13.5 * s, 14 * s), QPointF(1 * s, 14 * s)});
    g.drawPolygon(flap);
  }
  return p;
}

QPixmap FileIcon(int size, const QColor& accent, const QString& label) {
  QPixmap p = WhiteCanvas(size, size);
  QPainter g(&p);
  const qreal s = size / 16.0;
  g.setPen(QPen(QColor(110, 110, 110), 1));
  g.setBrush(QColor(250, 250, 250));
  QPolygonF page({QPointF(2.5 * s, 0.5 * s), QPointF(10 * s, 0.5 * s), QPointF(13.5 * s, 4 * s),
                  QPointF(13.5 * s, 15.5 * s), QPointF(2.5 * s, 15.5 * s)});
  g.drawPolygon(page);
  g.fillRect(QRectF(1 * s, 8 * s, 14 * s, 6 * s), accent);
  if (!label.isEmpty()) {
    QFont f("Sans");
    f.setPixelSize(std::max(5, static_cast<int>(5 * s)));
    f.setBold(true);
    g.setFont(f);
    g.setPen(Qt::white);
    g.drawText(QRectF(1 * s, 8 * s, 14 * s, 6 * s), Qt::AlignCenter, label);
  }
  return p;
}

QPixmap CheckBoxStrip() {
  QPixmap p(128, 16);
  p.fill(QColor(255, 0, 255));
  QPainter g(&p);
  for (int i = 0; i < 8; ++i) {
    const int x = i * 16;
    const bool radio = i >= 4;
    const bool set = i % 4 == 1;
    const bool crossed = i % 4 >= 2;
    g.setRenderHint(QPainter::Antialiasing, radio);
    g.setPen(QPen(QColor(28, 81, 128), 1));
    g.setBrush(crossed ? QColor(220, 220, 220) : QColor(255, 255, 255));
    if (radio) {
      g.drawEllipse(QRectF(x + 1.5, 1.5, 12, 12));
      if (set) {
        g.setBrush(kGreen);
        g.setPen(Qt::NoPen);
        g.drawEllipse(QRectF(x + 4.5, 4.5, 6, 6));
      }
    } else {
      g.drawRect(QRect(x + 1, 1, 13, 13));
      if (set) {
        g.setPen(QPen(kGreen, 2));
        g.drawPolyline(QPolygon({QPoint(x + 4, 7), QPoint(x + 6, 10), QPoint(x + 11, 4)}));
      }
    }
    if (crossed) {
      g.setPen(QPen(QColor(150, 150, 150), 1));
      g.drawLine(x + 3, 3, x + 12, 12);
      g.drawLine(x + 12, 3, x + 3, 12);
    }
  }
  return p;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap p = WhiteTransparent(ModeIcon().scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon.addPixmap(p);
  }
  return icon;
}
}  // namespace Artwork
