#pragma once
// NTFS in the scan: deleted files through the MFT with their folder paths,
// free space from the volume bitmap.

#include <memory>
#include <string>

#include "platform/Device.h"
#include "scan/FileSystems.h"

std::unique_ptr<CVolumeScan> OpenNtfsScan(std::shared_ptr<CDevice> device, std::string* why);

// Marks the directories on the path of one parent reference, making a
// placeholder where the chain meets a directory that is gone.
void EnsureDirectoryPath(ScanResults& results, uint64_t parentRef);
