#pragma once
// Whether a file's content holds together as its format says it must: the
// format is told by the content, never by a name.

#include <string>

#include "platform/ByteOrder.h"

enum class FormatVerdict : uint8_t { Passed, Failed, NoCheck };

struct FormatCheck {
  FormatVerdict verdict = FormatVerdict::NoCheck;
  std::string why;  // what failed, and where; or why nothing could be checked
};

// Checks a file's whole content. Pictures are decoded (JPEG) or their chunk
// CRCs checked (PNG), archives' members inflated against their CRC-32 (ZIP
// and the formats built on it), and every format the carver knows must end
// within the content by its own structure.
FormatCheck CheckFileFormat(ByteSpan content);

// The single checks, for their tests.
FormatCheck CheckJpegData(ByteSpan content);
FormatCheck CheckPngChunks(ByteSpan content);
FormatCheck CheckZipMembers(ByteSpan content);
FormatCheck CheckCarvedStructure(ByteSpan content);
// True when this build can decode JPEG data (the Windows build may not).
bool CanDecodeJpeg();
