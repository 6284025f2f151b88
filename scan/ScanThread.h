#pragma once

#include <cstdint>

#include "app/ScanSession.h"
#include "scan/ScanProgress.h"

// The scan thread's body: chooses the scans for the session's drive, walks
// the MFT of an NTFS volume, and ends with the dialog's OnOK.
uint32_t ScanThreadProc(IScanProgress& dialog, ScanSession& session);

// Marks the directories on the path of one parent reference, making a
// placeholder where the chain meets a directory that is gone.
void EnsureDirectoryPath(ScanSession& session, uint64_t parentRef);

// The signature scan over the drive's free space.
uint32_t RunSignatureScan(IScanProgress& dialog, ScanSession& session);
