#pragma once
// Button captions written as "<TextBlock Foreground='#749719' >text</TextBlock>":
// the text and its colour.

#include <cstdint>
#include <string>

struct TextBlockCaption {
  std::string text;
  uint32_t rgb = 0;  // 0xRRGGBB
  bool hasColor = false;
};

// Anything that is not such a block is plain text in the default colour.
TextBlockCaption ParseTextBlockCaption(const std::string& caption);
