#include "ui/HexView.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <algorithm>

#include "app/HexRows.h"

CHexView::CHexView(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName("hexView");
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFrameShape(QFrame::StyledPanel);
  verticalScrollBar()->setSingleStep(1);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), [this] { viewport()->update(); });
}

int CHexView::LineHeight() const { return std::max(1, fontMetrics().height()); }

size_t CHexView::BytesPerRow() const {
  const int wide = fontMetrics().horizontalAdvance(QString(static_cast<int>(HexRowWidth(kWideHexBytesPerRow)) + 1, '0'));
  return viewport()->width() >= wide ? kWideHexBytesPerRow : kHexBytesPerRow;
}

void CHexView::SetData(const uint8_t* data, size_t length, size_t maxLength) {
  const size_t kept = std::min(length, maxLength);
  m_data.assign(data, data + (data ? kept : 0));
  verticalScrollBar()->setValue(0);
  UpdateScrollBar();
  viewport()->update();
}

void CHexView::UpdateScrollBar() {
  const size_t rows = HexRowCount(m_data.size(), BytesPerRow());
  const int visible = std::max(1, viewport()->height() / LineHeight());
  const size_t limit = rows > static_cast<size_t>(visible) ? rows - static_cast<size_t>(visible) : 0;
  verticalScrollBar()->setRange(0, static_cast<int>(std::min<size_t>(limit, INT32_MAX)));
  verticalScrollBar()->setPageStep(visible);
}

void CHexView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBar();
}

void CHexView::paintEvent(QPaintEvent* event) {
  QPainter p(viewport());
  p.fillRect(event->rect(), palette().base());
  p.setFont(font());
  const int line = LineHeight();
  const size_t first = static_cast<size_t>(verticalScrollBar()->value()) + static_cast<size_t>(event->rect().top() / line);
  const size_t perRow = BytesPerRow();
  const size_t rows = HexRowCount(m_data.size(), perRow);
  const int ascent = fontMetrics().ascent();
  size_t drawn = 0;
  int y = (event->rect().top() / line) * line;
  for (size_t row = first; row < rows && y <= event->rect().bottom(); ++row, y += line, ++drawn) {
    const std::string text = HexRowText(m_data.data(), m_data.size(), row, perRow);
    // The offset column in grey, the rest in the text colour.
    p.setPen(QColor(110, 110, 110));
    p.drawText(4, y + ascent, QString::fromLatin1(text.data(), 8));
    p.setPen(palette().text().color());
    p.drawText(4 + fontMetrics().horizontalAdvance(QString(10, ' ')), y + ascent,
               QString::fromLatin1(text.data() + 10, static_cast<qsizetype>(text.size() - 10)));
  }
  m_painted = {first, drawn};
}
