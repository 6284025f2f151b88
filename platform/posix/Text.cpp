#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "platform/Text.h"

namespace {
std::string& CodePage() {
  static std::string name = "CP936";
  return name;
}
}  // namespace

namespace {
// Short names are single or double bytes with ASCII as itself; UTF-16,
// UTF-32 or EBCDIC would turn every name into something else.
bool IsAnsiLike(iconv_t cd, const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.rfind("UTF", 0) == 0 || upper.rfind("UCS", 0) == 0) return false;
  char ascii[95];
  for (int i = 0; i < 95; ++i) ascii[i] = static_cast<char>(0x20 + i);
  char out[95 * 4];
  char* in = ascii;
  size_t inLeft = sizeof ascii;
  char* to = out;
  size_t outLeft = sizeof out;
  if (iconv(cd, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
  return static_cast<size_t>(to - out) == sizeof ascii && std::equal(ascii, ascii + sizeof ascii, out);
}
}  // namespace

bool SetAnsiCodePage(const std::string& name, std::string* error) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (error) *error = "unknown code page " + name;
    return false;
  }
  const bool ansi = IsAnsiLike(cd, name);
  iconv_close(cd);
  if (!ansi) {
    if (error) *error = name + " is not a single- or double-byte ANSI code page (such as CP936 or CP1252)";
    return false;
  }
  CodePage() = name;
  return true;
}

const std::string& AnsiCodePage() { return CodePage(); }

namespace {
// One converter per thread for the code page in use; opening one costs more
// than converting a short name.
iconv_t Converter() {
  struct Cache {
    std::string codePage;
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    ~Cache() {
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
  };
  thread_local Cache cache;
  if (cache.codePage != CodePage()) {
    if (cache.cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cache.cd);
    cache.codePage = CodePage();
    cache.cd = iconv_open("UTF-8", cache.codePage.c_str());
  }
  if (cache.cd != reinterpret_cast<iconv_t>(-1)) iconv(cache.cd, nullptr, nullptr, nullptr, nullptr);
  return cache.cd;
}
}  // namespace

std::string AnsiToUtf8(const char* text, size_t length) {
  iconv_t cd = Converter();
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text, length);
  std::string out;
  out.resize(length * 4 + 4);
  char* in = const_cast<char*>(text);
  size_t inLeft = length;
  char* dst = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;
    // A byte the code page cannot map shows as U+FFFD rather than ending the name.
    if (outLeft < 3) break;
    *dst++ = static_cast<char>(0xEF);
    *dst++ = static_cast<char>(0xBF);
    *dst++ = static_cast<char>(0xBD);
    outLeft -= 3;
    ++in;
    --inLeft;
  }
  out.resize(out.size() - outLeft);
  return out;
}
