#include "filetypes/AudioFiles.h"

#include <array>
#include <cstring>

namespace {

// A stream of fewer frames is taken for chance bytes, not a recording.
constexpr uint64_t kMinFrames = 4;
constexpr uint64_t kMaxAudioSize = 1ull << 32;
constexpr uint32_t kId3HeaderSize = 10;
constexpr uint32_t kId3v1Size = 128;
constexpr uint32_t kApeHeaderSize = 32;
constexpr uint32_t kApeHasHeader = 0x80000000u;
// FLAC frames without a size bound in STREAMINFO are followed this far.
constexpr uint32_t kMaxFlacFrame = 1u << 20;
constexpr uint32_t kMaxFlacMetadata = 16u << 20;
constexpr uint32_t kStreamInfoSize = 34;
constexpr uint32_t kMinFlacFrame = 8;    // header, one subframe byte, CRC-16
constexpr uint32_t kMaxFlacHeader = 16;

// Kilobits per second by version row (MPEG-1, MPEG-2/2.5) and layer column (I, II, III).
constexpr uint16_t kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr uint32_t kSampleRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

bool SameStream(const MpegFrame& a, const MpegFrame& b) {
  return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

uint32_t Syncsafe(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 21 | static_cast<uint32_t>(p[1]) << 14 | static_cast<uint32_t>(p[2]) << 7 | p[3];
}

// CRC-8 (x^8 + x^2 + x + 1) of a FLAC frame header and CRC-16 (x^16 + x^15 +
// x^2 + 1) of a whole frame, both from zero, most significant bit first.
uint8_t Crc8(const uint8_t* p, size_t n) {
  uint8_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return crc;
}

uint16_t Crc16Step(uint16_t crc, uint8_t byte) {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint16_t r = static_cast<uint16_t>(i << 8);
      for (int k = 0; k < 8; ++k) r = static_cast<uint16_t>((r & 0x8000) ? (r << 1) ^ 0x8005 : r << 1);
      t[i] = r;
    }
    return t;
  }();
  return static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ byte) & 0xFF]);
}

}  // namespace

bool ReadMpegFrame(const uint8_t* b, MpegFrame* frame) {
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;
  const uint32_t version = (b[1] >> 3) & 3;
  const uint32_t layer = (b[1] >> 1) & 3;
  const uint32_t bitrateIndex = b[2] >> 4;
  const uint32_t rateIndex = (b[2] >> 2) & 3;
  // Reserved values, and the free bitrate, whose frames give no length.
  if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || (b[3] & 3) == 2) {
    return false;
  }
  const uint32_t kbps = kBitrates[version == 3 ? 0 : 1][3 - layer][bitrateIndex];
  const uint32_t rate = kSampleRates[version][rateIndex];
  const uint32_t padding = (b[2] >> 1) & 1;
  frame->version = version;
  frame->layer = layer;
  frame->sampleRate = rate;
  frame->mono = (b[3] >> 6) == 3;
  if (layer == 3) {
    frame->length = (12 * kbps * 1000 / rate + padding) * 4;
  } else {
    const uint32_t factor = (layer == 1 && version != 3) ? 72 : 144;
    frame->length = factor * kbps * 1000 / rate + padding;
  }
  return frame->length >= 4 + 17;
}

CMp3File::CMp3File(uint64_t sector, CVolumeAccess* access, Stage stage)
    : CWalkedFile(sector, access, 0, kMaxAudioSize), m_stage(stage) {}

std::unique_ptr<CBaseFile> CMp3File::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  if (Fits(data, 0, kId3HeaderSize) && std::memcmp(data.data(), "ID3", 3) == 0) {
    // Versions 2.2 to 2.4, with a size whose bytes keep their top bit clear.
    const bool sizeOk = (data[6] | data[7] | data[8] | data[9]) < 0x80;
    if (data[3] < 2 || data[3] > 4 || data[4] == 0xFF || !sizeOk) return nullptr;
    return std::unique_ptr<CBaseFile>(new CMp3File(sector, access, Stage::Id3));
  }
  // Without a tag, the first frames must follow one another.
  MpegFrame first, frame;
  uint64_t at = 0;
  for (uint64_t i = 0; i < kMinFrames; ++i) {
    if (!Fits(data, at, 4) || !ReadMpegFrame(data.data() + at, &frame)) return nullptr;
    if (i == 0) first = frame;
    if (!SameStream(first, frame)) return nullptr;
    at += frame.length;
  }
  return std::unique_ptr<CBaseFile>(new CMp3File(sector, access, Stage::Frames));
}

CWalkedFile::Step CMp3File::StepAt(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  if (m_stage == Stage::Id3) {
    uint8_t h[kId3HeaderSize];
    if (!view.Read(rel, sizeof h, h)) return Step::Wait;
    m_stage = Stage::Frames;
    *next = offset + kId3HeaderSize + Syncsafe(h + 6) + ((h[5] & 0x10) ? kId3HeaderSize : 0);
    return Step::Next;
  }
  return m_stage == Stage::Frames ? StepFrame(view, rel, offset, next) : StepTag(view, rel, offset, next);
}

CWalkedFile::Step CMp3File::StepFrame(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  const bool counted = m_xingFrames != 0 && m_frames == m_xingFrames + 1;
  uint8_t b[4];
  MpegFrame frame;
  if (!counted && offset + 4 <= RunEnd()) {
    if (!view.Read(rel, 4, b)) return Step::Wait;
    if (ReadMpegFrame(b, &frame) && (m_frames == 0 || SameStream(m_first, frame))) {
      if (m_frames == 0) {
        if (const Step step = ReadXing(view, rel, frame); step != Step::Next) return step;
        m_first = frame;
      }
      ++m_frames;
      *next = offset + frame.length;
      return Step::Next;
    }
  }
  // The frames have ended: tags may follow.
  if (m_frames < kMinFrames) return Step::Reject;
  m_stage = Stage::Tags;
  return StepTag(view, rel, offset, next);
}

CWalkedFile::Step CMp3File::ReadXing(const SectorView& view, int64_t rel, const MpegFrame& frame) {
  const uint32_t sideInfo = frame.version == 3 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17);
  uint8_t x[12];
  if (4 + sideInfo + sizeof x > frame.length) return Step::Next;
  if (!view.Read(rel + 4 + sideInfo, sizeof x, x)) return Step::Wait;
  if ((std::memcmp(x, "Xing", 4) == 0 || std::memcmp(x, "Info", 4) == 0) && (x[7] & 1)) m_xingFrames = BE32(x + 8);
  return Step::Next;
}

CWalkedFile::Step CMp3File::StepTag(const SectorView& view, int64_t rel, uint64_t offset, uint64_t* next) {
  *next = offset;
  uint8_t h[kApeHeaderSize];
  if (offset + kId3v1Size <= RunEnd() && view.Read(rel, 3, h) && std::memcmp(h, "TAG", 3) == 0) {
    // ID3v1 is always last.
    *next = offset + kId3v1Size;
    return Step::End;
  }
  if (offset + kApeHeaderSize <= RunEnd() && view.Read(rel, kApeHeaderSize, h) &&
      std::memcmp(h, "APETAGEX", 8) == 0 && (LE32(ByteSpan(h, sizeof h), 20) & kApeHasHeader)) {
    // The size counts the items and footer; an ID3v1 tag may still follow.
    *next = offset + kApeHeaderSize + LE32(ByteSpan(h, sizeof h), 12);
    return Step::Next;
  }
  return Step::End;
}

// FLAC.
std::unique_ptr<CBaseFile> CFlacFile::TryCreate(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  // "fLaC", then STREAMINFO first, of its fixed size.
  if (!Fits(data, 0, 8 + kStreamInfoSize) || std::memcmp(data.data(), "fLaC", 4) != 0 || (data[4] & 0x7F) != 0 ||
      (BE32(data.data() + 4) & 0xFFFFFF) != kStreamInfoSize) {
    return nullptr;
  }
  const ByteSpan info = data.subspan(8, kStreamInfoSize);
  const uint32_t minBlock = static_cast<uint32_t>(info[0]) << 8 | info[1];
  const uint32_t maxBlock = static_cast<uint32_t>(info[2]) << 8 | info[3];
  const uint32_t sampleRate = BE32(info.data() + 10) >> 12;
  if (minBlock < 16 || maxBlock < minBlock || sampleRate == 0) return nullptr;
  return std::unique_ptr<CBaseFile>(new CFlacFile(sector, access, info));
}

CFlacFile::CFlacFile(uint64_t sector, CVolumeAccess* access, ByteSpan info)
    : CBaseFile(sector, access),
      m_minFrame(BE32(info.data() + 4) >> 8),
      m_maxFrame(BE32(info.data() + 6) & 0xFFFFFF),
      m_totalSamples(BE64(info.data() + 10) & 0xFFFFFFFFFull) {
  if (m_maxFrame == 0 || m_maxFrame > kMaxFlacFrame) m_maxFrame = kMaxFlacFrame;
}

CFlacFile::Header CFlacFile::ReadFrameHeader(const SectorView& view, uint64_t base, uint64_t offset,
                                             uint64_t frame, uint64_t sample, uint32_t* samples) const {
  uint8_t h[kMaxFlacHeader];
  const int64_t rel = static_cast<int64_t>(offset) - static_cast<int64_t>(base);
  if (!view.Read(rel, 4, h)) return Header::NotInMemory;
  if (h[0] != 0xFF || (h[1] & 0xFE) != 0xF8) return Header::Invalid;
  const bool variable = h[1] & 1;
  const uint32_t blockCode = h[2] >> 4, rateCode = h[2] & 0xF, channels = h[3] >> 4, depth = (h[3] >> 1) & 7;
  if (blockCode == 0 || rateCode == 15 || channels > 10 || depth == 3 || (h[3] & 1)) return Header::Invalid;
  if (frame > 0 && variable != m_variableBlocks) return Header::Invalid;
  // The frame or sample number, coded as UTF-8 is, up to 36 bits.
  uint32_t extra = 0;
  if (!view.Read(rel + 4, 1, h + 4)) return Header::NotInMemory;
  for (uint8_t lead = h[4]; lead & 0x80; lead = static_cast<uint8_t>(lead << 1)) ++extra;
  if (extra == 1 || extra > 7) return Header::Invalid;
  if (extra > 0) --extra;
  const uint32_t sizeBytes = blockCode == 6 ? 1 : blockCode == 7 ? 2 : 0;
  const uint32_t rateBytes = rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14) ? 2 : 0;
  const uint32_t length = 5 + extra + sizeBytes + rateBytes;
  if (!view.Read(rel, length + 1, h)) return Header::NotInMemory;
  if (Crc8(h, length) != h[length]) return Header::Invalid;
  uint64_t number = extra == 0 ? h[4] : h[4] & (0x3F >> extra);
  for (uint32_t i = 0; i < extra; ++i) {
    if ((h[5 + i] & 0xC0) != 0x80) return Header::Invalid;
    number = number << 6 | (h[5 + i] & 0x3F);
  }
  if (number != (variable ? sample : frame)) return Header::Invalid;
  const uint8_t* size = h + 5 + extra;
  if (blockCode == 1) *samples = 192;
  else if (blockCode <= 5) *samples = 576u << (blockCode - 2);
  else if (blockCode == 6) *samples = size[0] + 1u;
  else if (blockCode == 7) *samples = (static_cast<uint32_t>(size[0]) << 8 | size[1]) + 1u;
  else *samples = 256u << (blockCode - 8);
  return Header::Valid;
}

int32_t CFlacFile::WalkMetadata(const SectorView& view, uint64_t base) {
  while (!m_inFrames) {
    uint8_t h[4];
    if (!view.Read(static_cast<int64_t>(m_metadataNext) - static_cast<int64_t>(base), 4, h)) return 0;
    if ((h[0] & 0x7F) == 127) return -1;
    m_metadataNext += 4 + (BE32(h) & 0xFFFFFF);
    if (m_metadataNext > kMaxFlacMetadata) return -1;
    if (h[0] & 0x80) {
      m_inFrames = true;
      m_frameStart = m_position = m_metadataNext;
      m_crc = 0;
    }
  }
  return 0;
}

// Each frame ends where the CRC-16 of its bytes comes to zero and the next
// frame's header, of the next number, begins; the last one where the samples
// reach STREAMINFO's total.
int32_t CFlacFile::ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                                 uint64_t runLimitSector) {
  const uint64_t base = SectorBase(sector, bytesPerSector);
  const uint64_t end = base + bytesPerSector;
  const uint64_t runEnd = RunEndOffset(sector, bytesPerSector, runLimitSector);
  if (!m_inFrames) {
    if (WalkMetadata(view, base) < 0) return -1;
    if (!m_inFrames) return 0;
    uint8_t sync[2];
    if (!view.Read(static_cast<int64_t>(m_frameStart) - static_cast<int64_t>(base), 2, sync)) return 0;
    m_variableBlocks = sync[1] & 1;
    const Header first = ReadFrameHeader(view, base, m_frameStart, 0, 0, &m_frameSamples);
    if (first == Header::Invalid) return -1;
    if (first == Header::NotInMemory) {
      m_inFrames = false;
      m_metadataNext = m_frameStart;  // read again with the next run
      return 0;
    }
  }
  const ByteSpan bytes = view.Sector(bytesPerSector);
  while (m_position < end) {
    const uint64_t length = m_position - m_frameStart;
    if (m_crc == 0 && length >= std::max<uint32_t>(m_minFrame, kMinFlacFrame)) {
      const uint64_t samples = m_samples + m_frameSamples;
      if (m_totalSamples != 0 && samples >= m_totalSamples) {
        EndAt(m_position, bytesPerSector);
        return kTypeFlac;
      }
      uint32_t nextSamples = 0;
      const Header next = ReadFrameHeader(view, base, m_position, m_frames + 1, samples, &nextSamples);
      if (next == Header::Valid) {
        ++m_frames;
        m_samples = samples;
        m_frameStart = m_position;
        m_frameSamples = nextSamples;
      } else if (next == Header::NotInMemory && m_position + kMaxFlacHeader <= runEnd) {
        return 0;  // the header comes with the next run
      } else if (m_totalSamples == 0) {
        EndAt(m_position, bytesPerSector);
        return kTypeFlac;
      }
    }
    if (length > m_maxFrame || m_position > kMaxAudioSize) return -1;
    uint8_t byte = 0;
    if (m_position >= base && m_position - base < bytes.size()) {
      byte = bytes[static_cast<size_t>(m_position - base)];
    } else if (!view.Read(static_cast<int64_t>(m_position) - static_cast<int64_t>(base), 1, &byte)) {
      return 0;
    }
    m_crc = Crc16Step(m_position == m_frameStart ? 0 : m_crc, byte);
    ++m_position;
  }
  return 0;
}
