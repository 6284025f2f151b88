#pragma once
// Whether a file's first bytes are text, and in which encoding, so that the
// preview shows text files as text rather than only as hex.

#include <string>

#include "platform/ByteOrder.h"

enum class TextEncoding { None, Utf8, Utf16LE, Utf16BE, Ansi };

struct TextPreview {
  TextEncoding encoding = TextEncoding::None;
  std::string text;  // UTF-8, without a byte order mark
};

// The content as text, or encoding None when it looks like anything else.
// Without a byte order mark, UTF-16 is told by its zero bytes, UTF-8 by
// being well-formed, and the rest is read in the ANSI code page.
TextPreview DecodeTextPreview(ByteSpan content);

const char* TextEncodingName(TextEncoding encoding);
