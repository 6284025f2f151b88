#pragma once
// Little-endian reads from byte spans. A read that does not fit in the span
// yields 0, so a truncated structure never reads outside its buffer.

#include <cstddef>
#include <cstdint>
#include <span>

using ByteSpan = std::span<const uint8_t>;

inline bool Fits(ByteSpan s, size_t offset, size_t length) {
  return offset <= s.size() && length <= s.size() - offset;
}

inline uint8_t LE8(ByteSpan s, size_t offset) { return Fits(s, offset, 1) ? s[offset] : 0; }

inline uint16_t LE16(ByteSpan s, size_t offset) {
  if (!Fits(s, offset, 2)) return 0;
  return static_cast<uint16_t>(s[offset] | (s[offset + 1] << 8));
}

inline uint32_t LE32(ByteSpan s, size_t offset) {
  if (!Fits(s, offset, 4)) return 0;
  return static_cast<uint32_t>(s[offset]) | (static_cast<uint32_t>(s[offset + 1]) << 8) |
         (static_cast<uint32_t>(s[offset + 2]) << 16) | (static_cast<uint32_t>(s[offset + 3]) << 24);
}

inline uint64_t LE64(ByteSpan s, size_t offset) {
  if (!Fits(s, offset, 8)) return 0;
  return static_cast<uint64_t>(LE32(s, offset)) | (static_cast<uint64_t>(LE32(s, offset + 4)) << 32);
}
