#pragma once
// FAT32 in the scan: the folder tree from the root with its deleted entries,
// free space from the FAT, directory clusters met there as found folders.

#include <memory>
#include <string>

#include "platform/Device.h"
#include "scan/FileSystems.h"

std::unique_ptr<CVolumeScan> OpenFat32Scan(std::shared_ptr<CDevice> device, std::string* why);
