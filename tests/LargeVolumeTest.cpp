// Sector numbers past 2^32: a raw disk of 2 TiB + 1 MiB made with the real
// tools, whose last megabyte holds a picture. The whole disk is not scanned
// here (that reads 2 TiB); its reader is, where 32-bit numbers would wrap.

#include <gtest/gtest.h>

#include "filetypes/BaseFile.h"
#include "filetypes/CarvedFormats.h"
#include "platform/Drives.h"
#include "support/Fixtures.h"
#include "support/Sha256.h"
#include "volume/RawVolumeAccess.h"

namespace {

constexpr uint64_t kPictureSector = (1ULL << 32) + 512;

TEST(LargeRawDisk, SectorsPast2TiBAreReadAndCarvedUnderTheirOwnNumbers) {
  std::string error;
  char letter = 0;
  ASSERT_TRUE(RegisterImage(FixturePath("raw-2tib.img"), &error, &letter)) << error;
  CRawVolumeAccess access(OpenDrive(letter, &error));
  EXPECT_EQ(access.GetClusterCount(), (1ULL << 32) + 2048);

  // The last megabyte, as the signature scan reads a run of it.
  const uint64_t first = (1ULL << 32);
  const uint64_t last = access.GetClusterCount() - 1;
  std::vector<uint8_t> run((last - first + 1) * 512);
  ASSERT_TRUE(access.ReadSectors(first, last, run.data()));
  CandidateHolder holder(512, &access);
  holder.runLimitSector = last;
  holder.BeginRun(run, false);
  for (uint64_t s = first; s <= last; ++s) holder.Offer((s - first) * 512, s);
  holder.EndRun();
  ASSERT_EQ(holder.completed.size(), 1u);
  CBaseFile& picture = *holder.completed[0];
  EXPECT_EQ(picture.firstSector, kPictureSector);
  EXPECT_EQ(CarvedFileName(picture.typeCode, picture.firstSector), "pic4294967808.jpg");

  const auto manifest = LoadManifest("raw-2tib.img");
  ASSERT_EQ(manifest.size(), 1u);
  EXPECT_EQ(picture.GetLength(512), manifest[0].size);
  const std::string path = MakeTempFolder() + "/picture.jpg";
  ASSERT_TRUE(picture.RecoverTo(path, &error)) << error;
  EXPECT_EQ(Sha256OfFile(path), manifest[0].sha256);
  ForgetDrive(letter);
}

}  // namespace
