#pragma once
// The rich list: items of varying height drawn by the list itself (mark-up,
// word-wrapped text or a shortened path), with check boxes, images and flat
// borders, scrolled by pixels. The logic is the model's; this paints it and
// feeds it the window's events.

#include <QAbstractScrollArea>
#include <QFont>
#include <QPixmap>
#include <functional>
#include <vector>

#include "uimodel/RichListModel.h"

class CHTMLListCtrl : public QAbstractScrollArea {
 public:
  using NotifyHandler = std::function<void(const RichListNotify&)>;

  CHTMLListCtrl();

  // Makes the list a child of parent at rect (the parent's client coordinates).
  bool Create(QWidget* parent, const QRect& rect);
  void SetImageList(const std::vector<QPixmap>* images);
  void SetStyle(int style);
  int InsertItem(const QString& text, int image, int type, int height = 0);
  HTMLListItem* GetItem(int number) { return m_model.GetItem(number); }
  void DeleteAllItems();
  void SetNotifyHandler(NotifyHandler handler) { m_handler = std::move(handler); }
  CRichListModel& Model() { return m_model; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  virtual void DrawItem(QPainter& painter, const QRect& clip, const HTMLListItem& item, bool selected);

 private:
  int MeasureText(const HTMLListItem& item, int width);
  int ImageWidth() const;
  void SyncScrollBar();
  void OnScrollAction(int action);

  CRichListModel m_model;
  NotifyHandler m_handler;
  QFont m_font;
  QColor m_selectionColor{127, 202, 254};
  bool m_hasFocus = false;
  QPixmap m_checkBoxes;
  const std::vector<QPixmap>* m_images = nullptr;
};
