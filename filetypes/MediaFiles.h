#pragma once
// Pictures, videos, audio and archives followed through their own structure
// to their last byte: PNG chunks, GIF blocks, RIFF (WebP, AVI, WAV), ISO base
// media boxes (MP4, MOV, 3GP, M4A, HEIC, AVIF), Matroska elements (MKV,
// WebM), and the lengths 7z and SQLite headers vouch for.

#include <memory>

#include "filetypes/WalkedFile.h"

class CPngFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return kTypePng; }
  // Past its header, what the chunk CRCs vouched for is kept.
  bool KeptWhenCut() const override { return NextOffset() >= kFirstChunkEnd; }

 private:
  using CWalkedFile::CWalkedFile;
  static constexpr uint64_t kFirstChunkEnd = 8 + 12 + 13;  // signature and IHDR
};

class CGifFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return m_images > 0 ? kTypeGif : -1; }
  // Once a whole picture was walked, a GIF that breaks off is kept with it.
  bool KeptWhenCut() const override { return m_images > 0 && !m_inSubBlocks; }

 private:
  using CWalkedFile::CWalkedFile;
  bool m_inSubBlocks = false;  // the next byte is a sub-block's size
  uint32_t m_images = 0;
};

// Photoshop documents (PSD) and large documents (PSB): the header, then
// the colour mode data, image resources and layer and mask sections by their
// lengths, then the merged image data: raw rows, or RLE rows whose byte
// counts stand in a table before them.
class CPsdFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return kTypePsd; }

 private:
  CPsdFile(uint64_t sector, CVolumeAccess* access, bool large, uint32_t channels, uint32_t height, uint64_t rowBytes);
  enum class Part { ColourModes, Resources, Layers, ImageData, RowCounts };
  bool m_large;
  uint32_t m_channels;
  uint32_t m_height;
  uint64_t m_rowBytes;
  Part m_part = Part::ColourModes;
  uint64_t m_countsLeft = 0;  // RLE row counts still to add up
  uint64_t m_rleBytes = 0;
};

// RIFF files by their form type: WebP pictures and AVI videos, the latter
// with the OpenDML RIFF-AVIX parts that follow the first.
class CRiffFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return m_type; }

 private:
  CRiffFile(uint64_t sector, CVolumeAccess* access, int32_t type, uint64_t maxSize)
      : CWalkedFile(sector, access, 0, maxSize), m_type(type) {}
  int32_t m_type;
};

class CIsoMediaFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  // The kind a major brand names; 0 for a brand no known kind has.
  static int32_t KindOfBrand(const uint8_t* brand);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override;

 private:
  CIsoMediaFile(uint64_t sector, CVolumeAccess* access, int32_t type)
      : CWalkedFile(sector, access, 0, kMaxSize), m_type(type) {}
  static constexpr uint64_t kMaxSize = 1ull << 40;
  int32_t m_type;
  bool m_movie = false;  // moov, or a picture's meta
  bool m_data = false;   // mdat
  uint64_t m_lastEnd = 0;
};

class CMatroskaFile : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return m_clusters > 0 || m_sizedSegment ? m_type : -1; }

 private:
  CMatroskaFile(uint64_t sector, CVolumeAccess* access, int32_t type, uint64_t segmentStart)
      : CWalkedFile(sector, access, segmentStart, kMaxSize), m_type(type) {}
  static constexpr uint64_t kMaxSize = 1ull << 40;
  int32_t m_type;
  bool m_inSegment = false;
  bool m_sizedSegment = false;
  uint32_t m_clusters = 0;
};

// A file whose header gives its whole length, checked as far as the header allows.
class CHeaderLengthFile : public CWalkedFile {
 protected:
  CHeaderLengthFile(uint64_t sector, CVolumeAccess* access, uint64_t length, int32_t type)
      : CWalkedFile(sector, access, 0, length), m_length(length), m_type(type) {}
  int32_t TypeAtEnd() const override { return m_type; }
  Step StepAt(const SectorView&, int64_t, uint64_t, uint64_t* next) override {
    *next = m_length;
    return Step::End;
  }

 private:
  uint64_t m_length;
  int32_t m_type;
};

class C7zFile : public CHeaderLengthFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 private:
  C7zFile(uint64_t sector, CVolumeAccess* access, uint64_t length) : CHeaderLengthFile(sector, access, length, kType7z) {}
};
