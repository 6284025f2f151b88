#pragma once
// Elapsed time and an estimate of the time left, shown while a scan runs.

#include <cstdint>
#include <optional>
#include <string>

// "HH:MM:SS".
std::string FormatDuration(uint64_t seconds);
// Seconds left when `done` of `total` took `elapsedSeconds`; none before any progress.
std::optional<uint64_t> RemainingSeconds(double elapsedSeconds, uint64_t done, uint64_t total);
// The line under the progress bar: elapsed time, and the estimate once there is one.
std::string ScanClockText(double elapsedSeconds, uint64_t done, uint64_t total);
