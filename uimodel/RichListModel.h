#pragma once
// The rich list's items, heights, selection, keys and scrolling, without the
// window that paints them. The widget hands it its measurements and events
// and paints what it says; the owner hears about it through notifications.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "uimodel/MarkupText.h"

enum RichListItemType : int { ItemTypeMarkup = 1, ItemTypeText = 2, ItemTypePath = 3 };
enum RichListStyle : int { StyleCheckBoxes = 1, StyleBorder = 2, StyleImages = 4 };
enum RichListNotifyCode : int {
  NotifySelectionChanged = 1,
  NotifyLeftButtonDown = 2,
  NotifyRightButtonDown = 3,
  NotifyDoubleClick = 4,
  NotifyCheckChanged = 5,
};
enum RichListKey : int { kKeyUp, kKeyDown, kKeySpace, kKeyOther };
enum RichListScroll : int { kScrollLineUp, kScrollLineDown, kScrollPageUp, kScrollPageDown, kScrollThumb, kScrollOther };

constexpr int kRichListControlId = 123;

struct HTMLListItem {
  int number = -1;
  int height = 0;
  int type = ItemTypeText;
  std::u16string text;
  int32_t data = 0;
  MarkupRect rect;  // where it was last laid out, in client coordinates
  int checked = 0;
  bool fixedHeight = false;
  int image = 0;
};

struct RichListNotify {
  int controlId = kRichListControlId;
  int code = 0;
  int item = -1;
  std::u16string text;
  int32_t data = 0;
  int checked = 0;
};

class CRichListModel {
 public:
  // The height of an item's text laid out in the given width (without the
  // 10 pixels of padding), as the widget's fonts measure it.
  using Measure = std::function<int(const HTMLListItem& item, int width)>;
  using Notify = std::function<void(const RichListNotify& notify)>;

  void SetMeasure(Measure measure) { m_measure = std::move(measure); }
  void SetNotify(Notify notify) { m_notify = std::move(notify); }
  // The width of the owner's images; 0 when there is no image list or it is empty.
  void SetImageWidth(int width) { m_imageWidth = width; }

  void SetStyle(int style);
  int Style() const { return m_style; }
  int InsertItem(const std::u16string& text, int image, int type, int height);
  HTMLListItem* GetItem(int number);
  void DeleteAllItems();
  const std::vector<HTMLListItem>& Items() const { return m_items; }

  void Resize(int width, int height);
  int ClientWidth() const { return m_clientWidth; }
  int ClientHeight() const { return m_clientHeight; }
  int TotalHeight() const { return m_totalHeight; }
  int ScrollPos() const { return m_scrollPos; }
  int ScrollLimit() const;
  void SetScrollPos(int position);
  int SelectedIndex() const { return m_selected; }

  // Item rectangles for the current scroll position.
  void Layout();

  void LeftButtonDown(int x, int y);
  void LeftDoubleClick();
  void RightButtonDown();
  void KeyDown(RichListKey key);
  void Scroll(RichListScroll action, int thumbPosition = 0);
  void Wheel(int delta);
  void EnsureVisible(int position);

  // Where the check box of an item drawn in rect sits (15 × 15).
  static MarkupRect CheckBoxRect(const MarkupRect& rect);

 private:
  int MeasureItem(const HTMLListItem& item) const;
  void RecalcHeights();
  void Send(int code, const HTMLListItem* item);

  std::vector<HTMLListItem> m_items;
  Measure m_measure;
  Notify m_notify;
  int m_imageWidth = 0;
  int m_style = 0;
  int m_totalHeight = 0;
  int m_clientWidth = 0, m_clientHeight = 0;
  int m_scrollPos = 0;
  int m_selected = -1;
};
