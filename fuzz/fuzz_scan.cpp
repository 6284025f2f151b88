// A whole scan of a small image in both modes, with the results tree, rows,
// previews and a search, as the results window would use them. The first byte
// chooses the mode; the file system is recognised from the image itself.
#include "ScanEverything.h"
#include "platform/MemoryDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  auto image = std::make_shared<const std::vector<uint8_t>>(data + 1, data + size);
  ScanEverything(std::make_shared<CMemoryDevice>(image), (data[0] & 4) ? ModeUniversal : ModeDeletedFiles);
  return 0;
}
