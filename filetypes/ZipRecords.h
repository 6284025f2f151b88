#pragma once
// The ZIP records the carver walks and the preview lists; little-endian
// fields at these offsets from each record's first byte.

#include <cstddef>
#include <cstdint>

namespace ziprecord {
constexpr uint32_t kLocalHeader = 0x04034B50;
constexpr uint32_t kDataDescriptor = 0x08074B50;
constexpr uint32_t kCentralHeader = 0x02014B50;
constexpr uint32_t kEndOfDirectory = 0x06054B50;

// Local file header.
constexpr size_t kLocalFlags = 6;
constexpr uint16_t kFlagDescriptor = 0x0008;  // the sizes follow the data
constexpr size_t kLocalMethod = 8;
constexpr size_t kLocalCompressedSize = 18;
constexpr size_t kLocalNameLength = 26;
constexpr size_t kLocalExtraLength = 28;
constexpr size_t kLocalHeaderSize = 30;
// Central-directory file header.
constexpr size_t kCentralFlags = 8;
constexpr uint16_t kFlagUtf8Names = 0x0800;  // the name and comment are UTF-8
constexpr size_t kCentralCompressedSize = 20;
constexpr size_t kCentralUncompressedSize = 24;
constexpr size_t kCentralNameLength = 28;
constexpr size_t kCentralExtraLength = 30;
constexpr size_t kCentralCommentLength = 32;
constexpr size_t kCentralHeaderSize = 46;
// End of central directory.
constexpr size_t kEndCommentLength = 20;
constexpr size_t kEndSize = 22;
constexpr size_t kDataDescriptorSize = 16;
constexpr size_t kDataDescriptorCompressedSize = 8;
constexpr size_t kZip64DataDescriptorSize = 24;
}  // namespace ziprecord
