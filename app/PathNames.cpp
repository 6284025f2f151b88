#include "app/PathNames.h"

#include <cctype>
#include <algorithm>
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
  std::string suffix = " (";
  suffix.append(std::to_string(n)).append(")");
  if (dot == std::string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

namespace {
// Bytes of a UTF-8 sequence that starts with lead; 1 for a stray byte.
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

size_t UnitsOf(const std::string& text, PathNameRules rules) {
  if (rules == PathNameRules::Posix) return text.size();
  size_t units = 0;
  for (size_t i = 0; i < text.size(); i += SequenceLength(static_cast<unsigned char>(text[i]))) {
    units += SequenceLength(static_cast<unsigned char>(text[i])) == 4 ? 2 : 1;
  }
  return units;
}

// The longest run of whole characters from the start of text within limit units.
std::string CutToUnits(const std::string& text, size_t limit, PathNameRules rules) {
  size_t end = 0;
  size_t units = 0;
  while (end < text.size()) {
    const size_t bytes = std::min(SequenceLength(static_cast<unsigned char>(text[end])), text.size() - end);
    const size_t cost = rules == PathNameRules::Posix ? bytes : (bytes == 4 ? 2 : 1);
    if (units + cost > limit) break;
    units += cost;
    end += bytes;
  }
  return text.substr(0, end);
}
}  // namespace

std::string FitNameLength(const std::string& name, size_t limit, PathNameRules rules) {
  if (UnitsOf(name, rules) <= limit) return name;
  // An extension worth keeping is short; a long tail after a dot is part of the name.
  constexpr size_t kLongestExtension = 16;
  const size_t dot = name.rfind('.');
  std::string extension;
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= kLongestExtension + 1) extension = name.substr(dot);
  const size_t extensionUnits = UnitsOf(extension, rules);
  if (extensionUnits >= limit) return CutToUnits(name, limit, rules);
  std::string stem = CutToUnits(name.substr(0, name.size() - extension.size()), limit - extensionUnits, rules);
  if (stem.empty()) stem.push_back('_');
  stem.append(extension);
  return stem;
}

std::string CandidateName(const std::string& safeName, unsigned n) {
  const PathNameRules rules = kPathSeparator == '\\' ? PathNameRules::Windows : PathNameRules::Posix;
  if (n <= 1) return FitNameLength(safeName, kMaxFileNameLength, rules);
  // Room for the number is made first, so that shortening never cuts it off.
  const size_t suffix = std::to_string(n).size() + 3;  // " (n)"
  return NumberedName(FitNameLength(safeName, kMaxFileNameLength - suffix, rules), n);
}
