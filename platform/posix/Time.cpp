#include <ctime>

#include "platform/Time.h"

namespace {
constexpr uint64_t kTicksPerSecond = 10000000ULL;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochDifference = 11644473600ULL;
// Calendar fields are limited to years below 30828, as on Windows.
constexpr uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFULL;

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}
}  // namespace

bool FileTimeToLocalFileTime(uint64_t utc, uint64_t* local) {
  const int64_t seconds = static_cast<int64_t>(utc / kTicksPerSecond) -
                          static_cast<int64_t>(kEpochDifference);
  const time_t t = static_cast<time_t>(seconds);
  struct tm tmLocal {};
  if (localtime_r(&t, &tmLocal) == nullptr) return false;
  const int64_t shifted = static_cast<int64_t>(utc) + tmLocal.tm_gmtoff * static_cast<int64_t>(kTicksPerSecond);
  if (shifted < 0) return false;
  *local = static_cast<uint64_t>(shifted);
  return true;
}

bool FileTimeToSystemTime(uint64_t fileTime, SystemTime* out) {
  if (fileTime > kMaxFileTime) return false;
  const uint64_t totalSeconds = fileTime / kTicksPerSecond;
  const int64_t days = static_cast<int64_t>(totalSeconds / 86400) -
                       static_cast<int64_t>(kEpochDifference / 86400);
  const uint64_t secondsOfDay = totalSeconds % 86400;
  CivilFromDays(days, &out->year, &out->month, &out->day);
  out->hour = static_cast<int>(secondsOfDay / 3600);
  out->minute = static_cast<int>(secondsOfDay / 60 % 60);
  out->second = static_cast<int>(secondsOfDay % 60);
  return true;
}

int CurrentYear() {
  const time_t now = time(nullptr);
  struct tm tmLocal {};
  if (localtime_r(&now, &tmLocal) == nullptr) return 1970;
  return tmLocal.tm_year + 1900;
}
