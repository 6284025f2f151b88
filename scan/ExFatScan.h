#pragma once
// exFAT in the scan: the folder tree from the root with its deleted entry
// sets, free space from the allocation bitmap.

#include <memory>
#include <string>

#include "platform/Device.h"
#include "scan/FileSystems.h"

std::unique_ptr<CVolumeScan> OpenExFatScan(std::shared_ptr<CDevice> device, std::string* why);
