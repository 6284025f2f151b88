#pragma once
// A device context that records what the mark-up renderer does, with simple
// metrics: 8 pixels a character (9 in bold, 16 for CJK), 16 pixels a line.

#include <string>
#include <vector>

#include "uimodel/MarkupText.h"

class CRecordingDevice : public IMarkupDevice {
 public:
  struct Drawn {
    std::u16string text;
    MarkupRect rect;
    uint32_t flags;
    uint32_t color;
    int style;
  };

  MarkupSize GetTextExtent(std::u16string_view text) override {
    int cx = 0;
    for (char16_t c : text) cx += c >= 0x2E80 ? 16 : (m_style & kStyleBold ? 9 : 8);
    return {cx, (m_style & (kStyleSubscript | kStyleSuperscript)) ? 11 : 16};
  }
  void DrawText(std::u16string_view text, const MarkupRect& rect, uint32_t flags) override {
    drawn.push_back({std::u16string(text), rect, flags, m_color, m_style});
  }
  void SelectStyleFont(int style) override {
    m_style = style;
    styles.push_back(style);
  }
  void ReleaseStyleFonts() override { ++releases; }
  uint32_t GetTextColor() override { return m_color; }
  void SetTextColor(uint32_t color) override { m_color = color; }
  void SaveState() override { ++saves; }
  void RestoreState() override { ++restores; }
  int GetCurrentX() override { return 3; }
  int GetCurrentY() override { return 4; }
  int GetHorizontalResolution() override { return 1024; }

  std::vector<Drawn> drawn;
  std::vector<int> styles;
  int saves = 0, restores = 0, releases = 0;

 private:
  int m_style = 0;
  uint32_t m_color = 0;
};
