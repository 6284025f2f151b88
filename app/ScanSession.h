#pragma once
// The scan state the whole program shares: the drive the user chose, and
// the scan's results.

#include <string>

#include "scan/ScanResults.h"

struct ScanSession : ScanResults {
  char selectedDrive = 0;
};

// The one session of the program run.
ScanSession& TheSession();

// Opens the selected drive as the device the scan reads. False with the
// system's reason when it cannot be opened.
bool OpenSelectedDrive(ScanSession& session, std::string* error);
