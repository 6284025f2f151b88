#pragma once
// Text conversion. The program keeps UTF-8 internally; names on disk come as
// UTF-16 (NTFS, FAT long names) or in the ANSI code page (FAT short names).

#include <cstddef>
#include <cstdint>
#include <string>

std::string Utf16ToUtf8(const char16_t* text, size_t length);
std::u16string Utf8ToUtf16(const std::string& text);
// The text with every malformed UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(const std::string& text);
// Whether text is well-formed UTF-8; a sequence cut off at the very end counts as well-formed when cutEndAllowed.
bool IsUtf8(const char* text, size_t length, bool cutEndAllowed);
// Lower case for the letters that have one; other characters stay as they are.
std::string Utf8ToLower(const std::string& text);

// The ANSI code page used for short names; CP936 unless set otherwise.
bool SetAnsiCodePage(const std::string& name, std::string* error);
const std::string& AnsiCodePage();
std::string AnsiToUtf8(const char* text, size_t length);
