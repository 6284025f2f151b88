#include "uimodel/MarkupText.h"

#include <algorithm>
#include <array>

namespace {

struct TagName {
  std::u16string_view name;
  int code;
  bool lineBreak;
};
// In the order tag words are matched: the first name that is a prefix of the word wins.
constexpr std::array<TagName, 10> kTags = {{{u"u", kTokenUnderline, false},
                                            {u"sup", kTokenSuperscript, false},
                                            {u"sub", kTokenSubscript, false},
                                            {u"strong", kTokenBold, false},
                                            {u"p", kTokenParagraph, true},
                                            {u"i", kTokenItalic, false},
                                            {u"font", kTokenFont, false},
                                            {u"em", kTokenItalic, false},
                                            {u"br", kTokenBreak, true},
                                            {u"b", kTokenBold, false}}};

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

const TagName* FindTag(std::u16string_view word) {
  for (const TagName& tag : kTags) {
    if (StartsWithIgnoringCase(word, tag.name)) return &tag;
  }
  return nullptr;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  c = Lower(c);
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 0;
}

// RRGGBB after "<font color=", with an optional quote and '#', as 0x00BBGGRR.
uint32_t ParseColor(std::u16string_view token) {
  size_t i = 12;
  if (i < token.size() && (token[i] == u'\'' || token[i] == u'"')) ++i;
  if (i < token.size() && token[i] == u'#') ++i;
  int digits[6] = {};
  for (int d = 0; d < 6; ++d, ++i) digits[d] = i < token.size() ? HexDigit(token[i]) : 0;
  const uint32_t r = digits[0] * 16 + digits[1], g = digits[2] * 16 + digits[3], b = digits[4] * 16 + digits[5];
  return r | (g << 8) | (b << 16);
}

// Shared by every drawing, as calls never overlap; emptied at each start.
std::array<uint32_t, 8> g_colorStack{};
size_t g_colorDepth = 0;

}  // namespace

int NextMarkupToken(std::u16string_view text, size_t* position, size_t* start, size_t* length, bool* whiteSpace) {
  const bool spaceBefore = *whiteSpace;
  size_t p = *position;
  if (p < text.size() && IsSpace(text[p])) *whiteSpace = true;
  while (p < text.size() && IsSpace(text[p])) ++p;
  if (p >= text.size()) {
    *position = p;
    return kTokenEnd;
  }
  *start = p;
  if (text[p] != u'<') {
    while (p < text.size() && !IsSpace(text[p]) && text[p] != u'<') ++p;
    *length = p - *start;
    *position = p;
    return kTokenWord;
  }
  const bool closing = p + 1 < text.size() && text[p + 1] == u'/';
  size_t wordStart = p + 1 + (closing ? 1 : 0);
  size_t q = wordStart;
  while (q < text.size() && !IsSpace(text[q]) && text[q] != u'<' && text[q] != u'>') ++q;
  const TagName* tag = FindTag(text.substr(std::min(wordStart, text.size()), q - std::min(wordStart, q)));
  bool recognised = tag != nullptr;
  if (recognised && tag->code == kTokenFont && !closing) {
    while (q < text.size() && text[q] != u'>' && text[q] != u'<') ++q;
  } else if (recognised && (q >= text.size() || text[q] != u'>')) {
    recognised = false;
  }
  if (q < text.size() && text[q] == u'>') ++q;
  if (recognised && (tag->lineBreak || spaceBefore)) {
    while (q < text.size() && IsSpace(text[q])) ++q;
  }
  if (recognised && tag->lineBreak) *whiteSpace = false;
  *length = q - *start;
  *position = q;
  if (!recognised) return closing ? kMarkupClosing : kTokenWord;
  return tag->code + (closing ? kMarkupClosing : 0);
}

int DrawMarkupText(IMarkupDevice* dc, std::u16string_view text, MarkupRect* rect, uint32_t flags) {
  if (dc == nullptr || text.empty()) return 0;
  int left = 0, top = 0, width = 0;
  if (rect) {
    left = rect->left;
    top = rect->top;
    width = rect->right - rect->left;
  } else {
    left = dc->GetCurrentX();
    top = dc->GetCurrentY();
    width = dc->GetHorizontalResolution() - left;
  }
  width = std::max(width, 0);
  flags = (flags & ~(kDtCenter | kDtRight | kDtTabStop)) | kDtNoPrefix;
  const bool measureOnly = flags & kDtCalcRect;
  dc->SaveState();
  const int lineHeight = dc->GetTextExtent(u"Ay").cy;
  int x = 0, y = 0, widest = 0, style = 0, currentStyle = -1, spaceWidth = 0;
  bool whiteSpace = false, first = true;
  g_colorDepth = 0;

  size_t position = 0, start = 0, length = 0;
  for (int code; (code = NextMarkupToken(text, &position, &start, &length, &whiteSpace)) != kTokenEnd; first = false) {
    const std::u16string_view token = text.substr(start, length);
    switch (code) {
      case kTokenBold: style |= kStyleBold; break;
      case kTokenBold + kMarkupClosing: style &= ~kStyleBold; break;
      case kTokenItalic: style |= kStyleItalic; break;
      case kTokenItalic + kMarkupClosing: style &= ~kStyleItalic; break;
      case kTokenUnderline: style |= kStyleUnderline; break;
      case kTokenUnderline + kMarkupClosing: style &= ~kStyleUnderline; break;
      case kTokenSuperscript: style |= kStyleSuperscript; break;
      case kTokenSuperscript + kMarkupClosing: style &= ~kStyleSuperscript; break;
      case kTokenSubscript: style |= kStyleSubscript; break;
      case kTokenSubscript + kMarkupClosing: style &= ~kStyleSubscript; break;
      case kTokenBreak:
        if (!(flags & kDtSingleLine)) {
          x = 0;
          y += lineHeight;
        }
        break;
      case kTokenParagraph:
        if (!(flags & kDtSingleLine)) {
          x = 0;
          if (!first) y += lineHeight * 3 / 2;
        }
        break;
      case kTokenFont:
        if (token.size() >= 12 && StartsWithIgnoringCase(token.substr(6), u"color=")) {
          if (g_colorDepth < g_colorStack.size()) g_colorStack[g_colorDepth++] = dc->GetTextColor();
          dc->SetTextColor(ParseColor(token));
        }
        break;
      case kTokenFont + kMarkupClosing:
        dc->SetTextColor(g_colorDepth > 0 ? g_colorStack[--g_colorDepth] : g_colorStack[0]);
        break;
      case kTokenWord: {
        if (style != currentStyle) {
          dc->SelectStyleFont(style);
          currentStyle = style;
          spaceWidth = dc->GetTextExtent(u" ").cx;
        }
        const int cx = dc->GetTextExtent(token).cx;
        // A word is never split: one wider than the line widens it.
        width = std::max(width, cx);
        if (whiteSpace) x += spaceWidth;
        if (x + cx > width && whiteSpace) {
          if (flags & kDtWordBreak) {
            x = 0;
            y += lineHeight;
          } else {
            width = x + cx;
          }
        }
        if (!measureOnly) {
          const uint32_t drawFlags = (style & kStyleSubscript) ? flags | kDtBottom | kDtSingleLine : flags;
          dc->DrawText(token, {left + x, top + y, left + width, top + y + lineHeight}, drawFlags);
          if (whiteSpace && (style & kStyleUnderline) && x >= spaceWidth) {
            // The underline runs on across the gap before the word.
            const MarkupRect gap = top < 0 ? MarkupRect{left + x - spaceWidth, top - y, left + x, top - y - lineHeight}
                                           : MarkupRect{left + x - spaceWidth, top + y, left + x, top + y + lineHeight};
            dc->DrawText(u" ", gap, drawFlags);
          }
        }
        x += cx;
        widest = std::max(widest, x);
        whiteSpace = false;
        break;
      }
      default:  // an unrecognised closing tag
        break;
    }
  }
  dc->RestoreState();
  dc->ReleaseStyleFonts();
  if (measureOnly && rect) {
    rect->right = left + widest;
    rect->bottom = top < 0 ? top - y - lineHeight : top + y + lineHeight;
  }
  return y;
}
