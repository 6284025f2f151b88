#include "uimodel/RichListModel.h"

#include <algorithm>

namespace {
constexpr int kItemPadding = 10;
constexpr int kLineStep = 50;
constexpr int kWheelStep = 40;

bool Contains(const MarkupRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }
}  // namespace

void CRichListModel::SetStyle(int style) {
  m_style = style;
  RecalcHeights();
}

int CRichListModel::MeasureItem(const HTMLListItem& item) const {
  const int imageAllowance = (m_style & StyleImages) && m_imageWidth > 0 ? m_imageWidth + 10 : 0;
  const int margin = (m_style & StyleCheckBoxes) ? 24 : 5;
  const int width = m_clientWidth - margin - imageAllowance;
  if (item.type != ItemTypeMarkup && item.type != ItemTypeText && item.type != ItemTypePath) return 0;
  return (m_measure ? m_measure(item, width) : 0) + kItemPadding;
}

int CRichListModel::InsertItem(const std::u16string& text, int image, int type, int height) {
  HTMLListItem item;
  item.number = static_cast<int>(m_items.size());
  item.type = type;
  item.image = image;
  item.text = text;
  if (height != 0) {
    item.height = height;
    item.fixedHeight = true;
  } else {
    item.height = MeasureItem(item);
  }
  m_totalHeight += item.height;
  m_items.push_back(item);
  return item.number;
}

HTMLListItem* CRichListModel::GetItem(int number) {
  if (number < 0 || number >= static_cast<int>(m_items.size())) return nullptr;
  return &m_items[static_cast<size_t>(number)];
}

void CRichListModel::DeleteAllItems() {
  m_items.clear();
  m_totalHeight = 0;
}

void CRichListModel::RecalcHeights() {
  m_totalHeight = 0;
  int number = 0;
  for (HTMLListItem& item : m_items) {
    item.number = number++;
    if (!item.fixedHeight) item.height = MeasureItem(item);
    m_totalHeight += item.height;
  }
  SetScrollPos(m_scrollPos);
}

void CRichListModel::Resize(int width, int height) {
  m_clientWidth = width;
  m_clientHeight = height;
  RecalcHeights();
}

int CRichListModel::ScrollLimit() const { return std::max(0, m_totalHeight - m_clientHeight); }

void CRichListModel::SetScrollPos(int position) { m_scrollPos = std::clamp(position, 0, ScrollLimit()); }

void CRichListModel::Layout() {
  int top = -m_scrollPos;
  for (HTMLListItem& item : m_items) {
    item.rect = {0, top, m_clientWidth, top + item.height};
    top += item.height;
  }
}

MarkupRect CRichListModel::CheckBoxRect(const MarkupRect& r) {
  const int t = r.top + (r.bottom - r.top) / 2 - 8;
  return {r.left + 3, t, r.left + 18, t + 15};
}

void CRichListModel::Send(int code, const HTMLListItem* item) {
  if (!m_notify) return;
  RichListNotify n;
  n.code = code;
  if (item) {
    n.item = item->number;
    n.text = item->text;
    n.data = item->data;
    n.checked = item->checked;
  }
  m_notify(n);
}

void CRichListModel::LeftButtonDown(int x, int y) {
  Send(NotifyLeftButtonDown, nullptr);
  m_selected = -1;
  Layout();
  for (size_t i = 0; i < m_items.size(); ++i) {
    HTMLListItem& item = m_items[i];
    if (!Contains(item.rect, x, y)) continue;
    if ((m_style & StyleCheckBoxes) && Contains(CheckBoxRect(item.rect), x, y)) {
      item.checked = !item.checked;
      Send(NotifyCheckChanged, &item);
    }
    Send(NotifySelectionChanged, &item);
    m_selected = static_cast<int>(i);
    return;
  }
  Send(NotifySelectionChanged, nullptr);
}

void CRichListModel::LeftDoubleClick() { Send(NotifyDoubleClick, nullptr); }

void CRichListModel::RightButtonDown() { Send(NotifyRightButtonDown, nullptr); }

void CRichListModel::KeyDown(RichListKey key) {
  const int count = static_cast<int>(m_items.size());
  if (key == kKeyUp || key == kKeyDown) {
    if (count == 0) return;
    if (m_selected < 0) {
      // Either key starts at the first item: the one the user reads first.
      m_selected = 0;
    } else if (key == kKeyUp && m_selected > 0) {
      --m_selected;
    } else if (key == kKeyDown && m_selected < count - 1) {
      ++m_selected;
    }
    EnsureVisible(m_selected);
    if (HTMLListItem* item = GetItem(m_selected)) Send(NotifySelectionChanged, item);
    return;
  }
  if (key == kKeySpace && (m_style & StyleCheckBoxes)) {
    if (HTMLListItem* item = GetItem(m_selected)) {
      item->checked = !item->checked;
      Send(NotifyCheckChanged, item);
    }
  }
}

void CRichListModel::EnsureVisible(int position) {
  int top = 0;
  for (const HTMLListItem& item : m_items) {
    if (item.number == position) {
      if (top < m_scrollPos) {
        SetScrollPos(top);
      } else if (m_scrollPos + m_clientHeight < top + item.height) {
        SetScrollPos(top + item.height - m_clientHeight);
      }
      return;
    }
    top += item.height;
  }
}

void CRichListModel::Scroll(RichListScroll action, int thumbPosition) {
  const int limit = ScrollLimit();
  switch (action) {
    case kScrollLineDown:
    case kScrollPageDown:
      if (m_scrollPos < limit) SetScrollPos(m_scrollPos + std::min(kLineStep, limit - m_scrollPos));
      break;
    case kScrollLineUp:
    case kScrollPageUp:
      if (m_scrollPos > 0) SetScrollPos(m_scrollPos - std::min(kLineStep, m_scrollPos));
      break;
    case kScrollThumb:
      SetScrollPos(thumbPosition);
      break;
    case kScrollOther:
      break;
  }
}

void CRichListModel::Wheel(int delta) {
  if (delta < 0) SetScrollPos(std::min(m_scrollPos + kWheelStep, ScrollLimit()));
  if (delta > 0) SetScrollPos(std::max(m_scrollPos - kWheelStep, 0));
}
