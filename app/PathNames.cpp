#include "app/PathNames.h"

std::string SafePathName(const std::string& name) {
  if (name.empty()) return "_";
  if (name == ".") return "_";
  if (name == "..") return "__";
  std::string safe = name;
  for (char& c : safe) {
    // Both separators: a name may be written on either platform.
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  }
  return safe;
}

std::string NumberedName(const std::string& name, unsigned n) {
  const size_t dot = name.rfind('.');
  const std::string suffix = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}
