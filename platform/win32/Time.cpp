#include <windows.h>

#include "platform/Time.h"

namespace {
FILETIME ToFileTime(uint64_t value) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}
}  // namespace

bool FileTimeToLocalFileTime(uint64_t utc, uint64_t* local) {
  const FILETIME in = ToFileTime(utc);
  FILETIME out;
  if (!::FileTimeToLocalFileTime(&in, &out)) return false;
  *local = static_cast<uint64_t>(out.dwHighDateTime) << 32 | out.dwLowDateTime;
  return true;
}

bool FileTimeToSystemTime(uint64_t fileTime, SystemTime* out) {
  const FILETIME in = ToFileTime(fileTime);
  SYSTEMTIME fields;
  if (!::FileTimeToSystemTime(&in, &fields)) return false;
  out->year = fields.wYear;
  out->month = fields.wMonth;
  out->day = fields.wDay;
  out->hour = fields.wHour;
  out->minute = fields.wMinute;
  out->second = fields.wSecond;
  return true;
}

int CurrentYear() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now.wYear;
}
