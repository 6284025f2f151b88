#pragma once
// The recoverable-file interface: every found file, whatever found it, is
// previewed and recovered through it.

#include <cstdint>
#include <string>
#include <vector>

class CDelFile {
 public:
  virtual ~CDelFile() = default;

  // Creates or overwrites path with the whole file. False, with the reason,
  // when the file could not be read or written in full.
  virtual bool RecoverTo(const std::string& path, std::string* error) = 0;
  // The content for a preview, at most kPreviewCap bytes; null when it cannot
  // be had. Valid until the next call on this object.
  virtual const uint8_t* LoadContent(uint32_t* length) = 0;

  static constexpr uint32_t kChunkSize = 65536;
  static constexpr uint32_t kPreviewCap = 0xA00000;  // 10 MiB

 protected:
  std::vector<uint8_t> m_content;
};
