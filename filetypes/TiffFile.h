#pragma once
// TIFF pictures, classic or BigTIFF (64-bit offsets and counts), in either
// byte order, and the camera RAW files built on TIFF (DNG, CR2, NEF, ARW,
// ORF, PEF, RW2, SRW). The file ends at the largest offset plus length of
// everything reached from its header: each directory and every value it
// points at, the strips and tiles it lists, its sub-directories (tag 0x014A),
// its EXIF, GPS and interoperability directories and its JPEG thumbnail.
// Directories and offset arrays are read as the sectors holding them arrive.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "filetypes/BaseFile.h"

class CTiffFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  // The RAW maker's usual extension; empty for a plain TIFF.
  const char* Extension() const override { return m_extension; }

 private:
  enum class ItemKind { Directory, Offsets, Counts };
  struct Item {
    ItemKind kind;
    uint32_t count;  // entries of an array
    uint16_t type;   // SHORT or LONG, for an array
    uint32_t pair;   // which offsets and counts belong together
    int depth;       // of a directory
  };
  struct Pair {
    std::vector<uint64_t> offsets;
    std::vector<uint64_t> counts;
    bool haveOffsets = false;
    bool haveCounts = false;
  };

  CTiffFile(uint64_t sector, CVolumeAccess* access, bool bigEndian, bool bigTiff, const char* extension)
      : CBaseFile(sector, access), m_bigEndian(bigEndian), m_bigTiff(bigTiff), m_extension(extension) {}
  // A maker's extension makes it a RAW file.
  int32_t TypeCode() const { return *m_extension != '\0' ? kTypeRaw : kTypeTiff; }
  uint32_t Read16(const uint8_t* p) const;
  uint32_t Read32(const uint8_t* p) const;
  uint64_t Read64(const uint8_t* p) const;
  // An offset or count field: 32-bit, or 64-bit in a BigTIFF.
  uint64_t ReadWord(const uint8_t* p) const { return m_bigTiff ? Read64(p) : Read32(p); }
  // One value of an array of the type (SHORT, LONG or LONG8).
  uint64_t ReadValue(const uint8_t* p, uint16_t type) const;
  size_t WordSize() const { return m_bigTiff ? 8 : 4; }
  size_t EntrySize() const { return m_bigTiff ? 20 : 12; }
  size_t CountSize() const { return m_bigTiff ? 8 : 2; }
  // False when the item is not a part of a TIFF file after all.
  bool ReadDirectory(const SectorView& view, int64_t rel, uint64_t offset, int depth, bool* waiting);
  bool ReadArray(const SectorView& view, int64_t rel, const Item& item, bool* waiting);
  void Extend(uint64_t end);
  void Extend(uint64_t offset, uint64_t length);
  void Expect(uint64_t offset, Item item);
  void FinishPair(uint32_t pair);

  bool m_bigEndian;
  bool m_bigTiff;
  const char* m_extension;
  std::map<uint64_t, Item> m_pending;  // by offset in the file
  std::map<uint32_t, Pair> m_pairs;
  uint64_t m_extent = 8;
  uint64_t m_maxSize = 1ull << 32;
  bool m_hasImage = false;
  bool m_broken = false;
  bool m_ended = false;
  uint32_t m_items = 0;
  uint32_t m_nextPair = 0;
};

// A Fujifilm RAF: its header names the embedded JPEG, the CFA header and
// the CFA data by offset and length (big-endian); the file ends after the
// last of them. It shares the TIFF entry's RAW kind.
class CRafFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView&, uint32_t, uint64_t) override {
    return sector >= lastSector ? kTypeRaw : 0;
  }
  const char* Extension() const override { return "raf"; }
  bool HoldsSector(uint64_t sector, uint32_t) const override { return sector <= lastSector; }

 private:
  using CBaseFile::CBaseFile;
};

// The TIFF entry's analysers: a RAF by its own header, else a TIFF.
std::unique_ptr<CBaseFile> CreateTiffOrRaf(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                           CVolumeAccess* access);
