#pragma once
// What the preview shows of a file, chosen by its name, and the member list
// of a ZIP archive, without the widgets that show them.

#include <string>

#include "filetypes/CarvedFormats.h"
#include "platform/ByteOrder.h"

// jpg, png, bmp and gif are pictures, zip an archive, anything else hex.
PreviewKind PreviewKindForName(const std::string& name);

// One line per central-directory member: its name (UTF-8 when the member's
// flag says so, else the ANSI code page) and, when not 0, its uncompressed
// size as "   [size]", each line ending "\r\n". Content that does
// not start with a local file header gives "文件已经损坏".
std::string ZipListingText(ByteSpan content);

extern const char* const kDamagedArchiveText;
