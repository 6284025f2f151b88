// What the preview makes of any content: the ZIP listing, and the text the
// content would show as (its encoding told by its bytes).
#include "app/Preview.h"
#include "app/TextPreview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZipListingText(ByteSpan(data, size));
  DecodeTextPreview(ByteSpan(data, size));
  return 0;
}
