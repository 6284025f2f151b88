#pragma once
// The picture preview: the decoded picture fitted into the pane with its
// aspect ratio kept, and its original size written below it.

#include <QImage>
#include <QWidget>

class CPictureView : public QWidget {
 public:
  explicit CPictureView(QWidget* parent = nullptr);

  // A picture decoded in memory; a null image shows the damaged-file text.
  void SetPicture(const QImage& picture);
  void Clear();
  const QImage& Picture() const { return m_picture; }
  // Where the last paint put the picture, for tests.
  QRect PictureRect() const;
  QString SizeText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage m_picture;
  bool m_damaged = false;
};
