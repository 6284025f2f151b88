#include "ui/QtMarkupDevice.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QString>

namespace {
QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

CQtMarkupDevice::CQtMarkupDevice(QPainter& painter)
    : m_painter(&painter), m_metricsDevice(painter.device()), m_base(painter.font()), m_font(m_base),
      m_color(painter.pen().color()) {}

CQtMarkupDevice::CQtMarkupDevice(const QFont& base, QPaintDevice* metricsDevice)
    : m_metricsDevice(metricsDevice), m_base(base), m_font(base) {}

QColor CQtMarkupDevice::ToQColor(uint32_t colorRef) {
  return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

uint32_t CQtMarkupDevice::ToColorRef(const QColor& color) {
  return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
         static_cast<uint32_t>(color.blue()) << 16;
}

MarkupSize CQtMarkupDevice::GetTextExtent(std::u16string_view text) {
  const QFontMetrics metrics = m_metricsDevice ? QFontMetrics(m_font, m_metricsDevice) : QFontMetrics(m_font);
  return {metrics.horizontalAdvance(ToQString(text)), metrics.height()};
}

void CQtMarkupDevice::DrawText(std::u16string_view text, const MarkupRect& rect, uint32_t flags) {
  if (!m_painter || rect.right <= rect.left || rect.bottom == rect.top) return;
  const QRect box = QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1)).normalized();
  const int vertical = (flags & kDtBottom) ? Qt::AlignBottom : Qt::AlignTop;
  m_painter->drawText(box, Qt::AlignLeft | vertical | Qt::TextSingleLine, ToQString(text));
}

void CQtMarkupDevice::SelectStyleFont(int style) {
  style &= 31;
  if (style == 0) {
    m_font = m_base;
  } else {
    auto& slot = m_styleFonts[static_cast<size_t>(style)];
    if (!slot) {
      QFont font = m_base;
      font.setWeight((style & kStyleBold) ? QFont::Bold : QFont::Normal);
      font.setItalic(style & kStyleItalic);
      font.setUnderline(style & kStyleUnderline);
      if (style & (kStyleSubscript | kStyleSuperscript)) {
        if (m_base.pixelSize() > 0) {
          font.setPixelSize(std::max(1, m_base.pixelSize() * 7 / 10));
        } else {
          font.setPointSizeF(m_base.pointSizeF() * 0.7);
        }
      }
      slot = font;
    }
    m_font = *slot;
  }
  Apply();
}

void CQtMarkupDevice::ReleaseStyleFonts() {
  for (auto& slot : m_styleFonts) slot.reset();
}

uint32_t CQtMarkupDevice::GetTextColor() { return ToColorRef(m_color); }

void CQtMarkupDevice::SetTextColor(uint32_t color) {
  m_color = ToQColor(color);
  Apply();
}

void CQtMarkupDevice::SaveState() { m_saved.push_back({m_font, m_color}); }

void CQtMarkupDevice::RestoreState() {
  if (m_saved.empty()) return;
  m_font = m_saved.back().font;
  m_color = m_saved.back().color;
  m_saved.pop_back();
  Apply();
}

int CQtMarkupDevice::GetHorizontalResolution() { return m_metricsDevice ? m_metricsDevice->width() : 0; }

void CQtMarkupDevice::Apply() {
  if (!m_painter) return;
  m_painter->setFont(m_font);
  m_painter->setPen(m_color);
}

int MeasureMarkupHeight(const QFont& font, QPaintDevice* device, const std::u16string& text, int width, int height) {
  CQtMarkupDevice dc(font, device);
  MarkupRect rect{0, 0, width, height};
  DrawMarkupText(&dc, text, &rect, kDtWordBreak | kDtCalcRect | kDtNoPrefix);
  return rect.bottom - rect.top;
}
