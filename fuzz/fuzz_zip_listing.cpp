// The ZIP listing of the preview over any content.
#include "app/Preview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZipListingText(ByteSpan(data, size));
  return 0;
}
