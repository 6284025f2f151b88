#include "platform/Text.h"

namespace {
void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; malformed bytes give U+FFFD.
uint32_t NextCodePoint(const std::string& text, size_t& i) {
  const auto b0 = static_cast<uint8_t>(text[i++]);
  if (b0 < 0x80) return b0;
  int extra = 0;
  uint32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (static_cast<uint8_t>(text[i++]) & 0x3F);
  }
  return cp;
}

uint32_t LowerCodePoint(uint32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) return cp + 32;        // Latin-1
  if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) return cp + 32;      // Greek
  if (cp >= 0x410 && cp <= 0x42F) return cp + 32;                     // Cyrillic
  if (cp >= 0x400 && cp <= 0x40F) return cp + 80;
  if (cp >= 0xFF21 && cp <= 0xFF3A) return cp + 32;                   // full-width Latin
  return cp;
}
}  // namespace

std::string Utf16ToUtf8(const char16_t* text, size_t length) {
  std::string out;
  out.reserve(length * 3);
  for (size_t i = 0; i < length; ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // an unpaired surrogate
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const uint32_t cp = NextCodePoint(text, i);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf8ToLower(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    AppendUtf8(out, LowerCodePoint(NextCodePoint(text, i)));
  }
  return out;
}

std::string ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) AppendUtf8(out, NextCodePoint(text, i));
  return out;
}

bool IsUtf8(const char* text, size_t length, bool cutEndAllowed) {
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  size_t i = 0;
  while (i < length) {
    const uint8_t b = p[i];
    size_t extra = 0;
    uint32_t lowest = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      lowest = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      lowest = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      lowest = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= length) {
      // The sequence runs past the end.
      if (!cutEndAllowed) return false;
      for (size_t k = i + 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) return false;
      }
      return true;
    }
    uint32_t cp = b & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}
