// The format checks of a file's condition over any content: a picture's
// decoder, PNG chunks, ZIP members and every carved format's outline.
#include "filetypes/FormatCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckFileFormat(ByteSpan(data, size));
  return 0;
}
