#pragma once
// Whether a file's content holds together as its format says it must: the
// format is told by the content, never by a name.

#include <string>
#include <vector>

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
// A JPEG decoded to see how far it holds together: clean when it decoded to
// its end without a warning; goodUntil, the data whose rows follow on from
// each other; badAt, where trouble shows (a warning, a row that breaks with
// those above it, or the data's end).
struct JpegProbe {
  bool decoded = false;
  bool clean = false;
  uint64_t goodUntil = 0;
  uint64_t badAt = 0;
  std::vector<uint64_t> rowEnds;     // the data read by the end of each row
  std::vector<uint8_t> pixels;       // the picture in grey at an eighth of its size, row by row
  uint32_t width = 0;                // of those rows
};
// How the rows of a joined picture go on from where they first differ from
// the rows of its first part alone (where the join is decoded): how far the
// mean difference of the next row's worth of pixels from the pixels above
// them lies from the same measure in the rows above. Small where the data
// after the join is the picture's own; kJoinChangeUnknown where nothing can be told.
constexpr double kJoinChangeUnknown = 1e9;
double JoinChange(const JpegProbe& before, const JpegProbe& joined);
JpegProbe ProbeJpeg(ByteSpan content);
// True when this build can decode JPEG data (the Windows build may not).
bool CanDecodeJpeg();
