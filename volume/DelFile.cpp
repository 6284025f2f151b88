#include "volume/DelFile.h"

#include <algorithm>

bool CDelFile::RecoverTo(const std::string& path, std::string* error, WriteFault* fault) {
  ContentSource source;
  if (!OpenContent(&source, error)) {
    if (fault) *fault = ContentTaken() ? WriteFault::Overwritten : WriteFault::SourceRead;
    return false;
  }
  return WriteFileContent(path, source.length, source.chunkSize, source.read, error, fault);
}

bool CDelFile::ReadHead(uint64_t cap, std::vector<uint8_t>* out, std::string* error) {
  ContentSource source;
  if (!OpenContent(&source, error)) return false;
  const uint64_t length = std::min(source.length, cap);
  out->assign(static_cast<size_t>(length), 0);
  // Readers may fill whole chunks: every piece goes through a chunk-sized buffer.
  std::vector<uint8_t> chunk(source.chunkSize);
  for (uint64_t offset = 0; offset < length; offset += source.chunkSize) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(source.chunkSize, length - offset));
    if (!source.read(offset, chunk.data(), n)) {
      if (error) *error = "read error at byte " + std::to_string(offset) + " of " + std::to_string(source.length);
      return false;
    }
    std::copy_n(chunk.data(), n, out->data() + offset);
  }
  return true;
}
