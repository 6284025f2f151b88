#include "ui/HTMLListCtrl.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>

#include "ui/Artwork.h"
#include "ui/QtMarkupDevice.h"

namespace {
QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
QRect ToQRect(const MarkupRect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }
}  // namespace

CHTMLListCtrl::CHTMLListCtrl() : m_font("Tahoma") {
  m_font.setPixelSize(11);
  m_font.setWeight(QFont::Normal);
  QPixmap strip = Artwork::CheckBoxStrip();
  strip.setMask(strip.createMaskFromColor(QColor(255, 0, 255), Qt::MaskInColor));
  m_checkBoxes = strip;
  setObjectName("HTMLListCtrl");
  setFrameShape(QFrame::Box);
  setFrameShadow(QFrame::Plain);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setAutoFillBackground(false);
  m_model.SetMeasure([this](const HTMLListItem& item, int width) { return MeasureText(item, width); });
  m_model.SetNotify([this](const RichListNotify& n) {
    if (m_handler) m_handler(n);
  });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int action) { OnScrollAction(action); });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value != m_model.ScrollPos()) {
      m_model.SetScrollPos(value);
      viewport()->update();
    }
  });
}

bool CHTMLListCtrl::Create(QWidget* parent, const QRect& rect) {
  if (!parent) return false;
  setParent(parent);
  setGeometry(rect);
  m_model.Resize(viewport()->width(), viewport()->height());
  SyncScrollBar();
  show();
  return true;
}

void CHTMLListCtrl::SetImageList(const std::vector<QPixmap>* images) {
  m_images = images;
  m_model.SetImageWidth(ImageWidth());
}

int CHTMLListCtrl::ImageWidth() const {
  return m_images && !m_images->empty() ? m_images->front().width() : 0;
}

void CHTMLListCtrl::SetStyle(int style) {
  m_model.SetStyle(style);
  SyncScrollBar();
  viewport()->update();
}

int CHTMLListCtrl::InsertItem(const QString& text, int image, int type, int height) {
  const int number = m_model.InsertItem(text.toStdU16String(), image, type, height);
  SyncScrollBar();
  viewport()->update();
  return number;
}

void CHTMLListCtrl::DeleteAllItems() {
  m_model.DeleteAllItems();
  SyncScrollBar();
  viewport()->update();
}

int CHTMLListCtrl::MeasureText(const HTMLListItem& item, int width) {
  const QString text = ToQString(item.text);
  const QFontMetrics metrics(m_font, viewport());
  switch (item.type) {
    case ItemTypeMarkup:
      return MeasureMarkupHeight(m_font, viewport(), item.text, width, m_model.ClientHeight());
    case ItemTypeText:
      return metrics.boundingRect(QRect(0, 0, std::max(1, width), 0), Qt::TextWordWrap, text).height();
    case ItemTypePath:
      return metrics.height();
    default:
      return 0;
  }
}

void CHTMLListCtrl::SyncScrollBar() {
  QScrollBar* bar = verticalScrollBar();
  const QSignalBlocker block(bar);
  bar->setRange(0, m_model.ScrollLimit());
  bar->setPageStep(std::max(1, m_model.ClientHeight()));
  bar->setSingleStep(50);
  bar->setValue(m_model.ScrollPos());
}

void CHTMLListCtrl::OnScrollAction(int action) {
  QScrollBar* bar = verticalScrollBar();
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: m_model.Scroll(kScrollLineDown); break;
    case QAbstractSlider::SliderPageStepAdd: m_model.Scroll(kScrollPageDown); break;
    case QAbstractSlider::SliderSingleStepSub: m_model.Scroll(kScrollLineUp); break;
    case QAbstractSlider::SliderPageStepSub: m_model.Scroll(kScrollPageUp); break;
    case QAbstractSlider::SliderMove: m_model.Scroll(kScrollThumb, bar->sliderPosition()); break;
    default: return;
  }
  bar->setSliderPosition(m_model.ScrollPos());
  viewport()->update();
}

void CHTMLListCtrl::paintEvent(QPaintEvent* event) {
  // Qt paints through a back buffer of its own, so nothing flickers.
  QPainter p(viewport());
  const QRect clip = event->rect();
  p.fillRect(clip, Qt::white);
  p.setFont(m_font);
  m_model.Layout();
  const auto& items = m_model.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    DrawItem(p, clip, items[i], static_cast<int>(i) == m_model.SelectedIndex());
  }
}

void CHTMLListCtrl::DrawItem(QPainter& p, const QRect& clip, const HTMLListItem& item, bool selected) {
  const QRect r = ToQRect(item.rect);
  if (r.bottom() < clip.top() || r.top() > clip.bottom()) return;
  p.fillRect(r, selected ? m_selectionColor : QColor(Qt::white));
  const int style = m_model.Style();
  if (style & StyleBorder) {
    // A flat sunken inner edge on the left and bottom.
    p.setPen(QColor(160, 160, 160));
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  }
  int left = r.left();
  if (style & StyleCheckBoxes) {
    const int y = r.top() + r.height() / 2 - 8;
    p.drawPixmap(r.left() + 3, y, m_checkBoxes, item.checked ? 16 : 0, 0, 16, 16);
    left += 19;
  }
  int imageWidth = 0;
  if ((style & StyleImages) && m_images && !m_images->empty()) {
    imageWidth = m_images->front().width();
    const int imageHeight = m_images->front().height();
    if (item.image >= 0 && item.image < static_cast<int>(m_images->size())) {
      p.drawPixmap(left + 5, r.top() + r.height() / 2 - imageHeight / 2,
                   Artwork::WhiteTransparent((*m_images)[static_cast<size_t>(item.image)]));
    }
  }
  QRect text(r.left() + (imageWidth ? imageWidth + 10 : 0) + ((style & StyleCheckBoxes) ? 21 : 5),
             r.top() + (item.fixedHeight ? 0 : 5), 0, 0);
  text.setRight(r.right());
  text.setBottom(r.bottom());
  const QPen oldPen = p.pen();
  p.setPen(Qt::black);
  const QString content = ToQString(item.text);
  switch (item.type) {
    case ItemTypeText:
      p.drawText(text, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, content);
      break;
    case ItemTypeMarkup: {
      CQtMarkupDevice dc(p);
      MarkupRect box{text.left(), text.top(), text.right() + 1, text.bottom() + 1};
      DrawMarkupText(&dc, item.text, &box, kDtWordBreak);
      break;
    }
    case ItemTypePath: {
      const QString shown = QFontMetrics(p.font()).elidedText(content, Qt::ElideMiddle, text.width());
      p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown.isEmpty() ? content : shown);
      break;
    }
    default:
      break;
  }
  p.setPen(oldPen);
  if (m_hasFocus && selected) {
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
  }
}

void CHTMLListCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    setFocus(Qt::MouseFocusReason);
    m_model.LeftButtonDown(event->position().toPoint().x(), event->position().toPoint().y());
    viewport()->update();
  } else if (event->button() == Qt::RightButton) {
    m_model.RightButtonDown();
  }
  QAbstractScrollArea::mousePressEvent(event);
}

void CHTMLListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_model.LeftDoubleClick();
  QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void CHTMLListCtrl::keyPressEvent(QKeyEvent* event) {
  RichListKey key = kKeyOther;
  if (event->key() == Qt::Key_Up) key = kKeyUp;
  if (event->key() == Qt::Key_Down) key = kKeyDown;
  if (event->key() == Qt::Key_Space) key = kKeySpace;
  if (key == kKeyOther) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  m_model.KeyDown(key);
  SyncScrollBar();
  viewport()->update();
  event->accept();
}

void CHTMLListCtrl::wheelEvent(QWheelEvent* event) {
  m_model.Wheel(event->angleDelta().y());
  SyncScrollBar();
  viewport()->update();
  event->accept();
}

void CHTMLListCtrl::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  m_model.Resize(viewport()->width(), viewport()->height());
  SyncScrollBar();
  viewport()->update();
}

void CHTMLListCtrl::focusInEvent(QFocusEvent* event) {
  m_hasFocus = true;
  viewport()->update();
  QAbstractScrollArea::focusInEvent(event);
}

void CHTMLListCtrl::focusOutEvent(QFocusEvent* event) {
  m_hasFocus = false;
  viewport()->update();
  QAbstractScrollArea::focusOutEvent(event);
}
