#pragma once
// NTFS in the scan: deleted files through the MFT with their folder paths,
// free space from the volume bitmap.

#include <memory>
#include <string>
#include <vector>

#include "platform/Device.h"
#include "scan/FileSystems.h"

class CNTFSVolume;

// The volume bitmap of an NTFS volume, whole; empty, with the reason, when it cannot be read.
std::vector<uint8_t> ReadVolumeBitmap(CNTFSVolume& volume, std::string* why);

std::unique_ptr<CVolumeScan> OpenNtfsScan(std::shared_ptr<CDevice> device, std::string* why);

// Marks the directories on the path of one parent reference, making a
// placeholder where the chain meets a directory that is gone.
void EnsureDirectoryPath(ScanResults& results, uint64_t parentRef);
