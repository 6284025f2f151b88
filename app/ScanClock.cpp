#include "app/ScanClock.h"

#include <cmath>
#include <cstdio>

std::string FormatDuration(uint64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  return text;
}

std::optional<uint64_t> RemainingSeconds(double elapsedSeconds, uint64_t done, uint64_t total) {
  if (done == 0 || total == 0 || done > total || !(elapsedSeconds >= 0)) return std::nullopt;
  const double left = elapsedSeconds * static_cast<double>(total - done) / static_cast<double>(done);
  return static_cast<uint64_t>(std::llround(left));
}

std::string ScanClockText(double elapsedSeconds, uint64_t done, uint64_t total) {
  std::string text = "已用时间 " + FormatDuration(elapsedSeconds > 0 ? static_cast<uint64_t>(elapsedSeconds) : 0);
  if (auto left = RemainingSeconds(elapsedSeconds, done, total)) text += "    预计剩余 " + FormatDuration(*left);
  return text;
}
