#pragma once
// FILETIME: 100-nanosecond intervals since 1601-01-01.

#include <cstdint>

struct SystemTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool FileTimeToLocalFileTime(uint64_t utc, uint64_t* local);
bool FileTimeToSystemTime(uint64_t fileTime, SystemTime* out);
// The current calendar year, by the local clock.
int CurrentYear();
