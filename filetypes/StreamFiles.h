#pragma once
// Carved files whose end only their own content tells, read byte by byte as
// the sectors arrive: a GZIP member inflated to the end of its deflate stream
// and checked against its trailer, an RTF document to the brace that closes
// its first, and an Ogg stream's pages to the one that ends its last stream.

#include <zlib.h>

#include <memory>
#include <set>
#include <vector>

#include "filetypes/WalkedFile.h"

class CGzipFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  ~CGzipFile() override;
  CGzipFile(const CGzipFile&) = delete;
  CGzipFile& operator=(const CGzipFile&) = delete;
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  // A deflate stream that still inflates is the file's own data.
  bool HoldsSector(uint64_t, uint32_t) const override { return !m_inflated; }

 private:
  CGzipFile(uint64_t sector, CVolumeAccess* access, uint32_t headerLength);
  int32_t CheckTrailer(const SectorView& view, uint64_t base, uint32_t bytesPerSector);

  z_stream m_stream{};
  bool m_ready = false;
  bool m_inflated = false;  // the deflate stream has ended
  uint64_t m_consumed;      // bytes of the file fed to zlib so far, header included
  uint32_t m_crc = 0;
  uint64_t m_size = 0;      // inflated bytes
  std::vector<uint8_t> m_inflatedChunk;  // where zlib writes what it inflates, checked, then dropped
};

class CRtfFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  bool HoldsSector(uint64_t, uint32_t) const override { return m_depth > 0; }

 private:
  using CBaseFile::CBaseFile;
  enum class State { Text, Backslash, Word, Number, Binary };
  State m_state = State::Text;
  uint32_t m_depth = 0;
  std::string m_word;
  uint64_t m_number = 0;
  uint64_t m_binaryLeft = 0;
  uint64_t m_position = 0;
};

class COggFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return kTypeOgg; }

 private:
  using CWalkedFile::CWalkedFile;
  std::set<uint32_t> m_open;  // serial numbers of the streams begun and not yet ended
};
