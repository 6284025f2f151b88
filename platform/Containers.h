#pragma once
// Disk image containers (forensic and virtual-machine formats), known by
// their content, never by their name. Each is read through the library
// made for it; a system without the library refuses the image and says so.

#include <memory>
#include <string>

#include "platform/Device.h"

// "EWF", "VHD", "VHDX", "VMDK" or "QCOW2"; empty for a raw disk image.
std::string SniffContainer(CDevice& file);

// The disk the container at path holds, read-only. Null, with the library's
// reason, when it cannot be opened: damaged, encrypted, or a segment or
// parent image missing.
std::shared_ptr<CDevice> OpenContainer(const std::string& kind, const std::string& path, std::string* error);
