#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"

#include "ntfs/Attributes.h"
#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/MemoryDevice.h"
#include "support/NtfsImageBuilder.h"

namespace {

std::unique_ptr<CNTFSVolume> Open(const NtfsImageBuilder& b) {
  return std::make_unique<CNTFSVolume>(std::make_shared<CMemoryDevice>(b.Share()));
}

TEST(NtfsVolume, DecodesGeometryOfAValidVolume) {
  NtfsImageBuilder b;
  auto v = Open(b);
  ASSERT_TRUE(v->IsVolumeOK());
  EXPECT_EQ(v->GetBytesPerSector(), 512);
  EXPECT_EQ(v->GetBytesPerCluster(), 4096u);
  EXPECT_EQ(v->GetFileRecordSize(), 1024u);
  EXPECT_EQ(v->GetIndexBlockSize(), 4096u);
  EXPECT_EQ(v->GetMFTOffset(), 4u * 4096);
  EXPECT_EQ(v->GetVersion(), 0x0301);
  ASSERT_NE(v->GetMFTDataAttr(), nullptr);
}

TEST(NtfsVolume, PositiveClustersPerRecordCountsClusters) {
  NtfsImageBuilder b;
  b.Image()[0x40] = 2;  // two 4 KiB clusters per record
  auto v = Open(b);
  EXPECT_EQ(v->GetFileRecordSize(), 8192u);
}

struct BootCase {
  const char* what;
  size_t offset;
  uint8_t value;
};

// Shows the case by its description in test output.
void PrintTo(const BootCase& c, std::ostream* os) { *os << c.what; }

class BadBootSector : public ::testing::TestWithParam<BootCase> {};

TEST_P(BadBootSector, IsNotReady) {
  NtfsImageBuilder b;
  b.Image()[GetParam().offset] = GetParam().value;
  auto v = Open(b);
  EXPECT_FALSE(v->IsVolumeOK()) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, BadBootSector,
                         ::testing::Values(BootCase{"OEM id of FAT32", 0x03, 'M'},
                                           BootCase{"zero sectors per cluster", 0x0D, 0},
                                           BootCase{"zero bytes per sector", 0x0C, 0},
                                           BootCase{"record size shift out of range", 0x40, 0x80},
                                           BootCase{"record size of 16 bytes", 0x40, 0xFC}), NameFromWhat());

TEST(NtfsVolume, VersionBelowThreeIsNotReadyButRecorded) {
  NtfsImageBuilder b(64, 1, 2);
  auto v = Open(b);
  EXPECT_FALSE(v->IsVolumeOK());
  EXPECT_EQ(v->GetVersion(), 0x0102);
}

TEST(NtfsVolume, MftWithoutDataIsNotReady) {
  NtfsImageBuilder b;
  b.PutMftRecord({ResidentAttr(0x10, StdInfoValue(0))});
  EXPECT_FALSE(Open(b)->IsVolumeOK());
}

TEST(NtfsVolume, TruncatedImageIsNotReady) {
  NtfsImageBuilder b;
  b.Image().resize(300);
  EXPECT_FALSE(Open(b)->IsVolumeOK());
}

TEST(NtfsVolume, RecordPastTheEndOfTheMftIsRefused) {
  NtfsImageBuilder b(32);
  auto v = Open(b);
  ASSERT_TRUE(v->IsVolumeOK());
  std::vector<uint8_t> out(1024);
  EXPECT_TRUE(v->ReadMFTRecord(31, out.data()));
  EXPECT_FALSE(v->ReadMFTRecord(32, out.data()));
  EXPECT_FALSE(v->ReadMFTRecord(~0ULL, out.data()));
}

}  // namespace
