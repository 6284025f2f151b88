#include "app/FileRows.h"

#include <cinttypes>
#include <cctype>
#include <cstdio>

#include "platform/Text.h"
#include "platform/Time.h"

std::string FormatSize(uint64_t size) {
  char text[40];
  if (size <= 1024) {
    std::snprintf(text, sizeof text, "%" PRIu64 "byte", size);
    return text;
  }
  // One decimal, cut rather than rounded up, so a size is never overstated.
  static const struct {
    uint64_t unit;
    uint64_t upTo;
    const char* suffix;
  } kUnits[] = {{1ULL << 10, 1ULL << 20, "KB"}, {1ULL << 20, 1ULL << 30, "M"}, {1ULL << 30, UINT64_MAX, "G"}};
  for (const auto& u : kUnits) {
    if (size > u.upTo) continue;
    const uint64_t tenths = (size % u.unit) * 10 / u.unit;
    std::snprintf(text, sizeof text, "%" PRIu64 ".%" PRIu64 "%s", size / u.unit, tenths, u.suffix);
    break;
  }
  return text;
}

std::string FormatTime(uint64_t fileTime) {
  SystemTime t;
  if (!FileTimeToSystemTime(fileTime, &t)) t = SystemTime{};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d  %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  return text;
}

std::string TimeColumnText(uint64_t fileTime) {
  return (fileTime >> 32) != 0 ? FormatTime(fileTime) : std::string();
}

std::string LowerExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return Utf8ToLower(dot == std::string::npos ? name : name.substr(dot + 1));
}

std::string TypeOfName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string type = name.substr(dot + 1);
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return type;
}

int ImageForName(const std::string& name) {
  const std::string extension = LowerExtension(name);
  if (extension == "rar" || extension == "zip") return kImageArchive;
  if (extension == "jpg") return kImageJpg;
  if (extension == "bmp") return kImageBmp;
  return kImageOther;
}
