#pragma once
// A flat button with a picture above a coloured caption, the look of the
// wizard's buttons: the dialog's background, a frame only under the mouse.

#include <QPixmap>
#include <QPushButton>
#include <string>

class CMarkupButton;

// A button of the program's look at rect of its parent, with its caption and picture.
CMarkupButton* MakeMarkupButton(QWidget* parent, const char* name, const QRect& rect, const std::string& caption,
                                const QPixmap& picture = QPixmap());

class CMarkupButton : public QPushButton {
 public:
  explicit CMarkupButton(QWidget* parent = nullptr);

  // "<TextBlock Foreground='#749719' >下一步</TextBlock>" or plain text.
  void SetMarkupCaption(const std::string& caption);
  // A picture drawn with white transparent.
  void SetPicture(const QPixmap& picture);
  QColor CaptionColor() const { return m_color; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Enter or Return presses the button that has the focus, as Space does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QColor m_color = Qt::black;
  QPixmap m_picture;
};
