#pragma once
// The wizard's dialog base: the shared background, banner and instruction
// line, the window caption, and controls that follow the dialog's size by
// fixed fractions of its growth.

#include <QDialog>
#include <QPixmap>
#include <vector>

#include "uimodel/ResizeRules.h"

class CResizeDialog : public QDialog {
 public:
  CResizeDialog(QWidget* parent, int widthDlu, int heightDlu, bool resizable);

  // Keeps widget's present geometry as the one for the dialog's initial size.
  void AddResizeRule(QWidget* widget, ResizeFractions fractions);
  // A line painted at a client position in the instruction colour.
  void AddPaintedText(int x, int y, const QString& text);
  // Closing the dialog (close box, Escape) ends it with the cancel result.
  void reject() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Painting after the banner and texts, for dialogs that draw more.
  virtual void PaintExtra(QPainter&) {}

 private:
  struct Rule {
    QWidget* widget;
    MarkupRect original;
    ResizeFractions fractions;
  };
  struct PaintedText {
    int x, y;
    QString text;
  };
  QSize m_initialSize;
  QPixmap m_banner;
  std::vector<Rule> m_rules;
  std::vector<PaintedText> m_texts;
};
