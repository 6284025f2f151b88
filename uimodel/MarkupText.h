#pragma once
// Short rich texts in a small HTML-like mark-up (b, strong, i, em, u, sub,
// sup, br, p, font color=), laid out with line breaks at white space only,
// drawn into a rectangle of a device or only measured. Toolkit-free: the
// widgets give it a device of their own.

#include <cstdint>
#include <string_view>

struct MarkupRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
struct MarkupSize {
  int cx = 0, cy = 0;
};

// The format flags of Windows' DrawText that the renderer honours or passes on.
enum : uint32_t {
  kDtCenter = 0x0001,
  kDtRight = 0x0002,
  kDtBottom = 0x0008,
  kDtWordBreak = 0x0010,
  kDtSingleLine = 0x0020,
  kDtTabStop = 0x0080,
  kDtCalcRect = 0x0400,
  kDtNoPrefix = 0x0800,
};

// Style bits of a run of text.
enum : int { kStyleBold = 1, kStyleItalic = 2, kStyleUnderline = 4, kStyleSuperscript = 8, kStyleSubscript = 16 };

// What the renderer needs of a device context. Colours are 0x00BBGGRR.
class IMarkupDevice {
 public:
  virtual ~IMarkupDevice() = default;
  virtual MarkupSize GetTextExtent(std::u16string_view text) = 0;
  virtual void DrawText(std::u16string_view text, const MarkupRect& rect, uint32_t flags) = 0;
  // Selects the font for a style, made from the font selected when the
  // drawing began: weight 700 when bold, italic and underline by their bits,
  // seven tenths of the height for sub- and superscript. Style 0 is that font.
  virtual void SelectStyleFont(int style) = 0;
  // Fonts made for this drawing are no longer needed.
  virtual void ReleaseStyleFonts() = 0;
  virtual uint32_t GetTextColor() = 0;
  virtual void SetTextColor(uint32_t color) = 0;
  virtual void SaveState() = 0;
  virtual void RestoreState() = 0;
  virtual int GetCurrentX() = 0;
  virtual int GetCurrentY() = 0;
  virtual int GetHorizontalResolution() = 0;
};

// Token codes; a closing tag adds kMarkupClosing to its tag's code.
enum : int {
  kTokenWord = 0,
  kTokenBold = 1,
  kTokenBreak = 2,
  kTokenFont = 3,
  kTokenItalic = 4,
  kTokenParagraph = 5,
  kTokenSubscript = 6,
  kTokenSuperscript = 7,
  kTokenUnderline = 8,
  kMarkupClosing = 0x100,
  kTokenEnd = -1,
};

// The next token after *position: its code, with *start and *length set.
// Leading white space is skipped; *whiteSpace records that there was some.
int NextMarkupToken(std::u16string_view text, size_t* position, size_t* start, size_t* length, bool* whiteSpace);

// Lays out and draws text (or with kDtCalcRect only measures it, setting the
// rectangle's right and bottom). Returns the y offset of the last line.
int DrawMarkupText(IMarkupDevice* dc, std::u16string_view text, MarkupRect* rect, uint32_t flags);
