#pragma once
// The scan state the whole program shares: the drive the user chose, and
// the scan's results.

#include <mutex>
#include <string>

#include "scan/ScanResults.h"

struct ScanSession : ScanResults {
  char selectedDrive = 0;
  // Held by whatever reads the scanned volume after the scan (previews,
  // recoveries, the check of every file's condition): the readers share
  // their record buffers and the failing-sector count.
  std::mutex readLock;
};

// The one session of the program run.
ScanSession& TheSession();

// Opens the selected drive as the device the scan reads. False with the
// system's reason when it cannot be opened.
bool OpenSelectedDrive(ScanSession& session, std::string* error);

// How the results were read, as reports name it: "ntfs", "fat32", "fat16",
// "fat12", "exfat", or "other" for a volume carved sector by sector.
const char* ResultSourceName(int32_t source);

// How many files the scan has found so far, of every kind.
size_t FoundFileCount(const ScanSession& session);
