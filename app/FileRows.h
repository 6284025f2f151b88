#pragma once
// The texts and icons of file-list rows.

#include <cstdint>
#include <string>

#include "filetypes/CarvedFormats.h"


std::string FormatSize(uint64_t size);
// Local FILETIME to "YYYY-MM-DD  HH:MM"; all zeros when it cannot be converted.
std::string FormatTime(uint64_t fileTime);
// The time column: empty when the high half of the FILETIME is 0.
std::string TimeColumnText(uint64_t fileTime);
// The text after a name's last dot (the whole name without one), in lower case.
std::string LowerExtension(const std::string& name);
// The type column: the extension in capitals, empty for a name without one.
std::string TypeOfName(const std::string& name);
// The icon for a name by its extension (the text after the last dot, or the whole name).
int ImageForName(const std::string& name);
