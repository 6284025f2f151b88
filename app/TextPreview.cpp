#include "app/TextPreview.h"

#include <algorithm>

#include "platform/Text.h"

namespace {
// Enough to judge by; the preview shows at most this much text.
constexpr size_t kMaxTextBytes = 1u << 20;
// Control characters a text file does not hold, out of every byte looked at.
constexpr size_t kControlPerMille = 10;

std::string Utf16Text(ByteSpan bytes, bool bigEndian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1] : bytes[i] | (bytes[i + 1] << 8)));
  }
  return Utf16ToUtf8(units.data(), units.size());
}

// Which half of the byte pairs is mostly zero: the high byte of Latin text in UTF-16.
TextEncoding Utf16ByZeros(ByteSpan bytes) {
  if (bytes.size() < 4) return TextEncoding::None;
  size_t evenZeros = 0;
  size_t oddZeros = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    evenZeros += bytes[i] == 0;
    oddZeros += bytes[i + 1] == 0;
  }
  const size_t pairs = bytes.size() / 2;
  if (oddZeros * 10 >= pairs * 4 && evenZeros * 20 < pairs) return TextEncoding::Utf16LE;
  if (evenZeros * 10 >= pairs * 4 && oddZeros * 20 < pairs) return TextEncoding::Utf16BE;
  return TextEncoding::None;
}

bool LooksLikeText(const std::string& text) {
  size_t controls = 0;
  for (unsigned char c : text) {
    if (c == 0) return false;
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B) || c == 0x7F) ++controls;
  }
  return controls * 1000 <= text.size() * kControlPerMille;
}
}  // namespace

TextPreview DecodeTextPreview(ByteSpan content) {
  TextPreview preview;
  ByteSpan bytes = content.subspan(0, std::min(content.size(), kMaxTextBytes));
  if (bytes.empty()) return preview;
  TextEncoding encoding = TextEncoding::None;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    encoding = TextEncoding::Utf8;
    bytes = bytes.subspan(3);
  } else if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    encoding = TextEncoding::Utf16LE;
    bytes = bytes.subspan(2);
  } else if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    encoding = TextEncoding::Utf16BE;
    bytes = bytes.subspan(2);
  } else {
    encoding = Utf16ByZeros(bytes);
  }
  const auto* chars = reinterpret_cast<const char*>(bytes.data());
  std::string text;
  switch (encoding) {
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
      text = Utf16Text(bytes, encoding == TextEncoding::Utf16BE);
      break;
    case TextEncoding::Utf8:
      text = ValidUtf8(std::string(chars, bytes.size()));
      break;
    default:
      // A preview may end inside a character: that is still UTF-8.
      encoding = IsUtf8(chars, bytes.size(), bytes.size() < content.size()) ? TextEncoding::Utf8 : TextEncoding::Ansi;
      text = encoding == TextEncoding::Utf8 ? std::string(chars, bytes.size()) : AnsiToUtf8(chars, bytes.size());
      break;
  }
  if (!LooksLikeText(text)) return preview;
  preview.encoding = encoding;
  preview.text = std::move(text);
  return preview;
}

const char* TextEncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Utf16LE: return "UTF-16LE";
    case TextEncoding::Utf16BE: return "UTF-16BE";
    case TextEncoding::Ansi: return AnsiCodePage().c_str();
    default: return "";
  }
}
