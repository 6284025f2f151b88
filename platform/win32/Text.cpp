#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "platform/Text.h"
#include "platform/win32/WinText.h"

namespace {
// The calling thread's ANSI code page, which is the system's unless the
// thread's locale was changed, until a named one is chosen.
struct CodePageChoice {
  UINT codePage = CP_THREAD_ACP;
  std::string name;
};

CodePageChoice& Choice() {
  static CodePageChoice choice{CP_THREAD_ACP, "CP" + std::to_string(GetACP())};
  return choice;
}

// "CP936", "cp1252" or "936".
UINT ParseCodePage(const std::string& name) {
  std::string digits = name;
  if (digits.size() > 2 && std::toupper(static_cast<unsigned char>(digits[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(digits[1])) == 'P') {
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 5) return 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  }
  return static_cast<UINT>(std::strtoul(digits.c_str(), nullptr, 10));
}
}  // namespace

bool SetAnsiCodePage(const std::string& name, std::string* error) {
  const UINT codePage = ParseCodePage(name);
  if (codePage == 0 || !IsValidCodePage(codePage)) {
    if (error) *error = "unknown code page " + name;
    return false;
  }
  // Short names are single or double bytes: UTF-8, UTF-7 and the UTF-16 pages are not what they hold.
  CPINFO info{};
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize > 2 || codePage == CP_UTF7 || codePage == CP_UTF8) {
    if (error) *error = name + " is not a single- or double-byte ANSI code page (such as CP936 or CP1252)";
    return false;
  }
  Choice() = {codePage, "CP" + std::to_string(codePage)};
  return true;
}

const std::string& AnsiCodePage() { return Choice().name; }

std::string AnsiToUtf8(const char* text, size_t length) {
  if (length == 0) return {};
  const int inLength = static_cast<int>(length > 0x7FFFFFFF ? 0x7FFFFFFF : length);
  const UINT codePage = Choice().codePage;
  const int wideLength = MultiByteToWideChar(codePage, 0, text, inLength, nullptr, 0);
  if (wideLength <= 0) return std::string(text, length);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(codePage, 0, text, inLength, wide.data(), wideLength);
  return Narrow(wide);
}
