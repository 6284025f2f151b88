#pragma once
// A flat button with a picture above a coloured caption, the look of the
// wizard's buttons: the dialog's background, a frame only under the mouse.

#include <QPixmap>
#include <QPushButton>
#include <string>

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

 private:
  QColor m_color = Qt::black;
  QPixmap m_picture;
};
