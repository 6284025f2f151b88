#pragma once

#include <cstdint>

#include "scan/NtfsScan.h"
#include "scan/ScanProgress.h"
#include "scan/ScanResults.h"

// The scan thread's body: recognises the device's file system, runs the
// scans its mode asks for, and ends with the dialog's OnOK.
uint32_t ScanThreadProc(IScanProgress& dialog, ScanResults& results);

// The signature scan over the device's free space.
uint32_t RunSignatureScan(IScanProgress& dialog, ScanResults& results);
