#include "app/PathNames.h"

#include <cctype>
#include <cstring>

#include "platform/FileOutput.h"

namespace {
bool IsWindowsDeviceName(const std::string& name) {
  // The part before the first dot counts: "nul.txt" is the device too.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::string upper;
  for (char c : stem) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

void ApplyWindowsRules(std::string& safe) {
  for (char& c : safe) {
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr(":*?\"<>|", c) != nullptr) c = '_';
  }
  for (size_t i = safe.size(); i > 0 && (safe[i - 1] == '.' || safe[i - 1] == ' '); --i) safe[i - 1] = '_';
  if (IsWindowsDeviceName(safe)) safe = "_" + safe;
}
}  // namespace

std::string SafePathNameFor(const std::string& name, PathNameRules rules) {
  if (name.empty()) return "_";
  if (name == ".") return "_";
  if (name == "..") return "__";
  std::string safe = name;
  for (char& c : safe) {
    // Both separators: a name may be written on either platform.
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  }
  if (rules == PathNameRules::Windows) ApplyWindowsRules(safe);
  return safe;
}

std::string SafePathName(const std::string& name) {
  return SafePathNameFor(name, kPathSeparator == '\\' ? PathNameRules::Windows : PathNameRules::Posix);
}

std::string NumberedName(const std::string& name, unsigned n) {
  const size_t dot = name.rfind('.');
  const std::string suffix = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}
