#pragma once
// JPEG pictures, followed marker by marker: every segment stepped over by its
// length, the entropy-coded data of every scan read to the marker after it,
// to the End Of Image after the last scan; then on through the further images
// an MPF segment lists (a camera's large previews). What follows the end in
// its sector or cluster never decides where the picture ends.

#include <vector>

#include "filetypes/BaseFile.h"

class CJPGFile : public CBaseFile {
 public:
  static std::unique_ptr<CBaseFile> TryCreate(ByteSpan data, uint64_t sector, CVolumeAccess* access);
  int32_t ExamineSector(uint64_t sector, const SectorView& view, uint32_t bytesPerSector,
                        uint64_t runLimitSector) override;
  bool HoldsSector(uint64_t sector, uint32_t bytesPerSector) const override;
  int32_t EndWhereCut(uint64_t sector, uint32_t bytesPerSector) override;
  bool EndEstablished() const override { return m_cutAt == 0; }
  void EndFound() override {
    m_cutAt = 0;
    m_phase = Phase::Done;
  }

 private:
  enum class Phase { Markers, Entropy, Images, Done };
  // A further image the MPF segment lists, as an offset and length in the file.
  struct Image {
    uint64_t offset;
    uint64_t length;
  };

  using CBaseFile::CBaseFile;
  // Each answers false when it needs bytes that are not in memory yet.
  bool StepMarker(const SectorView& view, uint64_t base, uint32_t bytesPerSector);
  bool StepEntropy(const SectorView& view, uint64_t base, uint64_t end);
  bool StepImages(const SectorView& view, uint64_t base, uint64_t end);
  bool ReadMpf(const SectorView& view, int64_t rel, uint32_t length);
  bool Resync(const SectorView& view, uint64_t base);
  void Break() { m_cutAt = m_pos; m_phase = Phase::Done; }
  void EndImage();

  Phase m_phase = Phase::Markers;
  uint64_t m_pos = 2;  // just past the Start Of Image marker
  uint64_t m_segment = 0;  // where the last segment stepped over starts
  uint32_t m_scans = 0;
  uint32_t m_appended = 0;  // pictures that followed the first one at once
  uint64_t m_mpfBase = 0;  // offset in the file the MPF offsets count from
  std::vector<Image> m_images;
  size_t m_nextImage = 0;
  uint64_t m_end = 0;    // the picture's length once its end is known
  uint64_t m_cutAt = 0;
};
