#pragma once
// Compressed audio whose frames carry no length of their own file: MP3, its
// MPEG audio frames walked by their headers between its optional tags, and
// FLAC, its frames told apart by their CRCs.

#include "filetypes/WalkedFile.h"

// One MPEG audio frame header.
struct MpegFrame {
  uint32_t version = 0;  // 0: MPEG-2.5, 2: MPEG-2, 3: MPEG-1
  uint32_t layer = 0;    // 1: layer III, 2: II, 3: I
  uint32_t sampleRate = 0;
  uint32_t length = 0;   // bytes, header included
  bool mono = false;
};
// Decodes the header in the four bytes; false when they are none.
bool ReadMpegFrame(const uint8_t* b, MpegFrame* frame);

class CMp3File : public CWalkedFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);

 protected:
  Step StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) override;
  int32_t TypeAtEnd() const override { return kTypeMp3; }

 private:
  enum class Stage { Id3, Frames, Tags };
  CMp3File(uint64_t sector, CVolumeAccess* access, Stage stage);
  Step StepFrame(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next);
  Step StepTag(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next);
  // Reads the frame count of a Xing or Info header in the first frame.
  Step ReadXing(const SectorView& view, int64_t rel, const MpegFrame& frame);

  Stage m_stage;
  MpegFrame m_first;
  uint64_t m_frames = 0;
  uint64_t m_xingFrames = 0;  // frames after the Xing frame, when it counts them
};

class CFlacFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, uint32_t bytesPerSector,
                                              CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  // Inside a frame that is being followed, the bytes are the stream's.
  bool HoldsSector(uint64_t, uint32_t) const override { return m_inFrames; }

 private:
  CFlacFile(uint64_t sector, CVolumeAccess* access, ByteSpan streamInfo);
  enum class Header { Valid, Invalid, NotInMemory };
  // Reads the header at offset of the frame numbered frame, starting at
  // sample; its block size in *samples.
  Header ReadFrameHeader(const SectorView& view, uint64_t base, uint64_t offset, uint64_t frame, uint64_t sample,
                         uint32_t* samples) const;
  // Walks the metadata blocks that are in memory; -1 when one is none.
  int32_t WalkMetadata(const SectorView& view, uint64_t base);

  uint32_t m_minFrame;
  uint32_t m_maxFrame;
  uint64_t m_totalSamples;   // 0: unknown
  bool m_variableBlocks = false;
  bool m_inFrames = false;
  uint64_t m_metadataNext = 4;
  uint64_t m_frameStart = 0;
  uint32_t m_frameSamples = 0;
  uint64_t m_frames = 0;
  uint64_t m_samples = 0;     // before the current frame
  uint64_t m_position = 0;    // next byte to run through the frame's CRC
  uint16_t m_crc = 0;
};
