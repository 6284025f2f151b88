#include "app/FileRows.h"

#include <cinttypes>
#include <cstdio>

#include "platform/Text.h"
#include "platform/Time.h"

std::string FormatSize(uint64_t size) {
  char text[32];
  if (size <= 1024) {
    std::snprintf(text, sizeof text, "%" PRIu64 "byte", size);
  } else if (size <= 1048576) {
    std::snprintf(text, sizeof text, "%" PRIu64 "KB", size >> 10);
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64 "M", size >> 20);
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

int ImageForName(const std::string& name) {
  const std::string extension = LowerExtension(name);
  if (extension == "rar" || extension == "zip") return kImageArchive;
  if (extension == "jpg") return kImageJpg;
  if (extension == "bmp") return kImageBmp;
  return kImageOther;
}
