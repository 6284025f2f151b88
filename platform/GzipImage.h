#pragma once
// Disk images stored gzip-compressed, unpacked into memory and read from
// there: the compressed file itself is only read.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Device.h"

// An image larger than this unpacked is refused: unpack it to a file first.
constexpr uint64_t kMaxUnpackedImage = 4ULL << 30;

// True when the device starts with the gzip signature.
bool IsGzipImage(CDevice& device);
// The unpacked bytes of a gzip file of compressedSize bytes, every member of
// it in turn; null with a reason. Refused as soon as more than limit bytes
// come out, and never holding more than that.
std::shared_ptr<const std::vector<uint8_t>> UnpackGzipImage(CDevice& device, uint64_t compressedSize,
                                                            std::string* error,
                                                            uint64_t limit = kMaxUnpackedImage);
