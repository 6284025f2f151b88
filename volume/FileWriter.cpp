#include "volume/FileWriter.h"

#include <algorithm>
#include <memory>
#include <vector>

bool WriteFileContent(const std::string& path, uint64_t length, uint32_t chunkSize, const ContentReader& read,
                      std::string* error, WriteFault* fault) {
  WriteFault ignored = WriteFault::None;
  WriteFault& kind = fault ? *fault : ignored;
  kind = WriteFault::None;
  std::string reason;
  std::unique_ptr<COutputFile> out = COutputFile::Create(path, &reason, &kind);
  if (!out) {
    if (error) *error = "cannot create " + path + ": " + reason;
    return false;
  }
  std::vector<uint8_t> buffer(chunkSize);
  for (uint64_t offset = 0; offset < length; offset += chunkSize) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(chunkSize, length - offset));
    if (!read(offset, buffer.data(), n)) {
      if (error) *error = "read error at byte " + std::to_string(offset) + " of " + std::to_string(length);
      kind = WriteFault::SourceRead;
      out->Close();
      return false;
    }
    if (!out->Write(buffer.data(), n)) {
      if (error) *error = "cannot write " + path + ": " + out->LastErrorText();
      kind = out->LastFault();
      out->Close();
      return false;
    }
  }
  if (!out->Close()) {
    if (error) *error = "cannot write " + path + ": " + out->LastErrorText();
    kind = out->LastFault();
    return false;
  }
  return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* error, WriteFault* fault) {
  return WriteFileContent(path, text.size(), 1u << 20,
                          [&](uint64_t offset, uint8_t* buffer, uint32_t n) {
                            std::copy_n(text.data() + offset, n, buffer);
                            return true;
                          },
                          error, fault);
}
