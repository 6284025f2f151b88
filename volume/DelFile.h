#pragma once
// The recoverable-file interface: every found file, whatever found it, is
// previewed, checked and recovered through it.

#include <cstdint>
#include <string>
#include <vector>

#include "volume/FileWriter.h"

// The content of a file as it can be read now: its length and a reader.
struct ContentSource {
  uint64_t length = 0;
  uint32_t chunkSize = 65536;
  ContentReader read;
};

// Where a file's content lies. Clusters: in the runs given, which the file
// system may have handed to other files since; FreeSpace: carved out of space
// the file system counts as free; Reused: the record that described the file
// now describes another.
enum class ContentPlace : uint8_t { Unknown, Resident, Clusters, FreeSpace, Reused };

// One stretch of content: length bytes from fileOffset of the file lie at
// volumeOffset of the volume, in clusterCount clusters from firstCluster
// (none for carved stretches, which are counted in sectors).
struct ContentRun {
  uint64_t fileOffset = 0;
  uint64_t volumeOffset = 0;
  uint64_t length = 0;
  uint64_t firstCluster = 0;
  uint64_t clusterCount = 0;
};

struct ContentLayout {
  ContentPlace place = ContentPlace::Unknown;
  std::vector<ContentRun> runs;
  std::string why;  // what made the place Unknown or Reused
};

class CDelFile {
 public:
  virtual ~CDelFile() = default;

  // Creates path, which must not exist yet, with the whole file. False, with
  // the reason and its kind, when the file could not be read or written in full.
  virtual bool RecoverTo(const std::string& path, std::string* error, WriteFault* fault = nullptr);
  // The content for a preview, at most kPreviewCap bytes; null when it cannot
  // be had. Valid until the next call on this object.
  virtual const uint8_t* LoadContent(uint32_t* length) = 0;
  // The reader of the whole content; false, with the reason, when it cannot be read at all.
  virtual bool OpenContent(ContentSource* source, std::string* error) = 0;
  virtual ContentLayout Layout() { return {}; }
  // True when the content cannot be had because other files took its place.
  virtual bool ContentTaken() const { return false; }

  // The first cap bytes of the content at most, into out; false, with the
  // reason, when they cannot all be read.
  bool ReadHead(uint64_t cap, std::vector<uint8_t>* out, std::string* error);

  static constexpr uint32_t kChunkSize = 65536;
  static constexpr uint32_t kPreviewCap = 0xA00000;  // 10 MiB

 protected:
  std::vector<uint8_t> m_content;
};
