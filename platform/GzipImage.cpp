#include "platform/GzipImage.h"

#include <zlib.h>

#include <algorithm>

namespace {
constexpr uint32_t kChunk = 1u << 20;
// 16 added to the window bits makes zlib read the gzip wrapper.
constexpr int kGzipWindowBits = 15 + 16;
}  // namespace

bool IsGzipImage(CDevice& device) {
  uint8_t magic[3] = {};
  uint32_t got = 0;
  return device.ReadAt(0, magic, sizeof magic, &got) && got == sizeof magic && magic[0] == 0x1F &&
         magic[1] == 0x8B && magic[2] == 8;
}

std::shared_ptr<const std::vector<uint8_t>> UnpackGzipImage(CDevice& device, uint64_t compressedSize,
                                                            std::string* error, uint64_t limit) {
  z_stream stream{};
  if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) {
    if (error) *error = "cannot start unpacking";
    return nullptr;
  }
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  std::vector<uint8_t> in(kChunk), out(kChunk);
  uint64_t offset = 0;
  std::string failure;
  for (bool ended = false; !ended && failure.empty();) {
    if (stream.avail_in == 0) {
      uint32_t got = 0;
      if (offset >= compressedSize || !device.ReadAt(offset, in.data(), kChunk, &got) || got == 0) {
        failure = offset >= compressedSize ? "the compressed image ends early" : device.LastErrorText();
        break;
      }
      offset += got;
      stream.next_in = in.data();
      stream.avail_in = got;
    }
    stream.next_out = out.data();
    stream.avail_out = kChunk;
    const int status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) {
      failure = std::string("the compressed image is damaged") + (stream.msg ? std::string(": ") + stream.msg : "");
      break;
    }
    const size_t produced = kChunk - stream.avail_out;
    if (bytes->size() + produced > limit) {
      failure = "unpacked it is larger than " + std::to_string(limit >> 20) + " MiB; unpack it to a file first";
      break;
    }
    // Grown by hand so that the buffer never holds more than the bound.
    if (bytes->capacity() < bytes->size() + produced) {
      bytes->reserve(static_cast<size_t>(std::min<uint64_t>(limit, std::max<uint64_t>(2 * bytes->capacity(), bytes->size() + produced))));
    }
    bytes->insert(bytes->end(), out.data(), out.data() + produced);
    if (status == Z_STREAM_END) {
      // gzip allows members one after another; each is unpacked after the last.
      const bool more = stream.avail_in > 0 || offset < compressedSize;
      if (more && inflateReset(&stream) != Z_OK) failure = "cannot go on to the next gzip member";
      ended = !more;
    }
  }
  inflateEnd(&stream);
  if (!failure.empty()) {
    if (error) *error = failure;
    return nullptr;
  }
  return bytes;
}
