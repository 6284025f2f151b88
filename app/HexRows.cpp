#include "app/HexRows.h"

#include <cstdio>

size_t HexRowCount(size_t length, size_t perRow) { return perRow == 0 ? 0 : (length + perRow - 1) / perRow; }

size_t HexRowWidth(size_t perRow) { return 10 + perRow * 3 + 1 + perRow; }

std::string HexRowText(const uint8_t* data, size_t length, size_t row, size_t perRow) {
  static const char kDigits[] = "0123456789ABCDEF";
  const size_t start = row * perRow;
  if (data == nullptr || start >= length) return {};
  char offset[24];
  std::snprintf(offset, sizeof offset, "%08zX  ", start);
  std::string text = offset;
  std::string chars;
  for (size_t i = 0; i < perRow; ++i) {
    if (start + i < length) {
      const uint8_t b = data[start + i];
      text += kDigits[b >> 4];
      text += kDigits[b & 15];
      text += ' ';
      chars += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    } else {
      text += "   ";
    }
  }
  return text + " " + chars;
}
