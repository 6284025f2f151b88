#pragma once
// The mark-up renderer's device over a QPainter, or over font metrics alone
// when it only measures.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <array>
#include <optional>
#include <vector>

#include "uimodel/MarkupText.h"

class CQtMarkupDevice : public IMarkupDevice {
 public:
  // Draws with painter, whose font at this moment is the base font.
  explicit CQtMarkupDevice(QPainter& painter);
  // Measures only, with metrics of base on the given device.
  CQtMarkupDevice(const QFont& base, QPaintDevice* metricsDevice);

  MarkupSize GetTextExtent(std::u16string_view text) override;
  void DrawText(std::u16string_view text, const MarkupRect& rect, uint32_t flags) override;
  void SelectStyleFont(int style) override;
  void ReleaseStyleFonts() override;
  uint32_t GetTextColor() override;
  void SetTextColor(uint32_t color) override;
  void SaveState() override;
  void RestoreState() override;
  int GetCurrentX() override { return 0; }
  int GetCurrentY() override { return 0; }
  int GetHorizontalResolution() override;

  static QColor ToQColor(uint32_t colorRef);
  static uint32_t ToColorRef(const QColor& color);

 private:
  void Apply();

  QPainter* m_painter = nullptr;
  QPaintDevice* m_metricsDevice = nullptr;
  QFont m_base;
  std::array<std::optional<QFont>, 32> m_styleFonts;
  QFont m_font;
  QColor m_color = Qt::black;
  struct State {
    QFont font;
    QColor color;
  };
  std::vector<State> m_saved;
};

// The height of mark-up laid out with word breaks in the given width.
int MeasureMarkupHeight(const QFont& font, QPaintDevice* device, const std::u16string& text, int width, int height);
