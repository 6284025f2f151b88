#include "uimodel/TextBlockCaption.h"

#include <cctype>

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

TextBlockCaption ParseTextBlockCaption(const std::string& caption) {
  TextBlockCaption out;
  const std::string open = "<TextBlock";
  const std::string close = "</TextBlock>";
  if (caption.rfind(open, 0) != 0) {
    out.text = caption;
    return out;
  }
  const size_t tagEnd = caption.find('>');
  if (tagEnd == std::string::npos) {
    out.text = caption;
    return out;
  }
  const std::string attributes = caption.substr(open.size(), tagEnd - open.size());
  const size_t fg = attributes.find("Foreground=");
  if (fg != std::string::npos) {
    size_t p = fg + 11;
    if (p < attributes.size() && (attributes[p] == '\'' || attributes[p] == '"')) ++p;
    if (p < attributes.size() && attributes[p] == '#') ++p;
    uint32_t value = 0;
    int digits = 0;
    while (digits < 6 && p < attributes.size() && HexDigit(attributes[p]) >= 0) {
      value = value << 4 | static_cast<uint32_t>(HexDigit(attributes[p++]));
      ++digits;
    }
    if (digits == 6) {
      out.rgb = value;
      out.hasColor = true;
    }
  }
  size_t end = caption.rfind(close);
  if (end == std::string::npos || end < tagEnd) end = caption.size();
  out.text = caption.substr(tagEnd + 1, end - tagEnd - 1);
  return out;
}
