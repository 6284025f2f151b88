// Rejected on-disk structures say what was wrong and where.

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "fat32/Folder.h"
#include "ntfs/DataRuns.h"
#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/MemoryDevice.h"
#include "support/FatImageBuilder.h"
#include "support/NtfsImageBuilder.h"
#include "support/ParamNames.h"
#include "volume/DecodeError.h"

namespace {

TEST(DecodeError, TextNamesStructureOffsetFieldFoundAndExpected) {
  const DecodeError e{"FILE record 17", 0x1FE, "update sequence number", "0x3", "0x2"};
  EXPECT_EQ(e.Text(), "FILE record 17, byte 0x1fe (update sequence number): found 0x3, expected 0x2");
  EXPECT_FALSE(e.empty());
  EXPECT_TRUE(DecodeError{}.empty());
}

struct BootCase {
  const char* what;
  size_t offset;
  uint8_t value;
  const char* reason;
};

void PrintTo(const BootCase& c, std::ostream* os) { *os << c.what; }

class NtfsBootSectorFault : public ::testing::TestWithParam<BootCase> {};

TEST_P(NtfsBootSectorFault, VolumeIsRefusedWithTheFieldAndValue) {
  NtfsImageBuilder b;
  b.Image()[GetParam().offset] = GetParam().value;
  if (GetParam().offset == 0x0B) b.Image()[0x0C] = 0;
  CNTFSVolume volume(std::make_shared<CMemoryDevice>(b.Share()));
  EXPECT_FALSE(volume.IsVolumeOK());
  EXPECT_EQ(volume.GetOpenError(), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NtfsBootSectorFault,
    ::testing::Values(
        BootCase{"OEM name", 0x03, 'M', "NTFS boot sector, byte 0x3 (OEM name): found 0x202020205346544d, expected \"NTFS    \""},
        BootCase{"bytes per sector", 0x0B, 0, "NTFS boot sector, byte 0xb (bytes per sector): found 0x0, expected a power of two from 256"},
        BootCase{"sectors per cluster", 0x0D, 0, "NTFS boot sector, byte 0xd (sectors per cluster): found 0x0, expected at least 1"},
        BootCase{"record size", 0x40, 0x7F, "NTFS boot sector, byte 0x40 (clusters per file record): found 0x7f, expected file records of 256 bytes to 64 KiB"}),
    NameFromWhat());

NtfsImageBuilder WithRecord17(const Bytes& record) {
  NtfsImageBuilder b;
  b.PutRecord(17, record);
  return b;
}

TEST(FileRecordFault, UpdateSequenceMismatchNamesTheStrideEnd) {
  Bytes record = FileRecordBytes(0, {ResidentAttr(0x80, {'x'})}, 17);
  record[0x3FE] ^= 0xFF;  // the second stride's last two bytes no longer hold the update sequence number
  NtfsImageBuilder b = WithRecord17(record);
  CNTFSVolume volume(std::make_shared<CMemoryDevice>(b.Share()));
  ASSERT_TRUE(volume.IsVolumeOK());
  CFileRecord r(&volume);
  EXPECT_FALSE(r.ReadRecord(17));
  const DecodeError& e = r.GetLastError();
  EXPECT_EQ(e.structure, "FILE record 17");
  EXPECT_EQ(e.offset, 0x3FEu);
  EXPECT_EQ(e.field, "update sequence number");
  EXPECT_NE(e.found, e.expected);
}

// The update sequence protects every 512 bytes, whatever the sector size:
// on 4096-byte sectors a record still has one entry per 512 bytes, and a
// count that does not match the record's size is refused.
TEST(FileRecordFault, UpdateSequenceStridesAre512BytesOnEverySectorSize) {
  Bytes value(700);
  for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<uint8_t>(i * 7 + 1);
  NtfsImageBuilder b;
  b.UseSectorSize(4096);
  b.PutRecord(17, FileRecordBytes(0, {ResidentAttr(0x80, value)}, 17));
  CNTFSVolume volume(std::make_shared<CMemoryDevice>(b.Share(), 4096));
  ASSERT_TRUE(volume.IsVolumeOK()) << volume.GetOpenError();
  EXPECT_EQ(volume.GetBytesPerSector(), 4096);
  CFileRecord r(&volume);
  r.SetAttrMask(kMaskData);
  ASSERT_TRUE(r.ReadRecord(17));
  ASSERT_TRUE(r.ParseAttrs());
  Bytes read(value.size());
  uint32_t got = 0;
  ASSERT_TRUE(r.FindUnnamedData()->ReadData(0, read.data(), static_cast<uint32_t>(read.size()), &got));
  EXPECT_EQ(read, value) << "bytes 510 and 511 of the record lie inside the value";

  Bytes wrongCount = FileRecordBytes(0, {ResidentAttr(0x80, value)}, 17);
  wrongCount[0x06] = 9;  // eight strides, in a record that has two
  NtfsImageBuilder c;
  c.PutRecord(17, wrongCount);
  CNTFSVolume other(std::make_shared<CMemoryDevice>(c.Share()));
  CFileRecord w(&other);
  EXPECT_FALSE(w.ReadRecord(17));
  EXPECT_EQ(w.GetLastError().Text(),
            "FILE record 17, byte 0x6 (update sequence count): found 0x9, expected 0x3 for a record of 0x400 bytes");
}

TEST(FileRecordFault, UnusedRecordIsNoFaultButAWrongSignatureIs) {
  NtfsImageBuilder b;
  b.Image()[NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize + 18 * 1024] = 'B';
  CNTFSVolume volume(std::make_shared<CMemoryDevice>(b.Share()));
  CFileRecord r(&volume);
  EXPECT_FALSE(r.ReadRecord(40));
  EXPECT_TRUE(r.GetLastError().empty());
  EXPECT_FALSE(r.ReadRecord(18));
  EXPECT_EQ(r.GetLastError().Text(), "FILE record 18, byte 0x0 (signature): found 0x42, expected \"FILE\" (0x454c4946)");
}

TEST(FileRecordFault, AttributeFaultsAreKept) {
  Bytes value = ResidentAttr(0x80, {'x', 'y'});
  value[0x10] = 0xFF;  // the value's length runs past the attribute
  NtfsImageBuilder b = WithRecord17(FileRecordBytes(0, {value}, 17));
  CNTFSVolume volume(std::make_shared<CMemoryDevice>(b.Share()));
  CFileRecord r(&volume);
  ASSERT_TRUE(r.ReadRecord(17));
  EXPECT_FALSE(r.ParseAttrs());
  EXPECT_NE(r.GetLastError().Text().find("(resident attribute 0x80): found 0xff bytes at"), std::string::npos)
      << r.GetLastError().Text();

  Bytes compressed = ResidentAttr(0x10, StdInfoValue(0, kFileCompressed));
  NtfsImageBuilder c = WithRecord17(FileRecordBytes(0, {compressed}, 17));
  CNTFSVolume packed(std::make_shared<CMemoryDevice>(c.Share()));
  CFileRecord p(&packed);
  ASSERT_TRUE(p.ReadRecord(17));
  EXPECT_FALSE(p.ParseAttrs());
  EXPECT_EQ(p.GetLastError().field, "file attributes");
  EXPECT_EQ(p.GetLastError().found, "0x800");
}

struct RunCase {
  const char* what;
  Bytes runList;
  uint64_t lastVCN;
  bool usable;
  size_t offset;
  const char* field;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.what; }

class RunListFault : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunListFault, SaysWhereTheListWentWrong) {
  std::vector<tagDataRun_Entry> runs;
  DecodeError error;
  EXPECT_EQ(ParseDataRuns(GetParam().runList, 0, GetParam().lastVCN, &runs, &error), GetParam().usable);
  EXPECT_EQ(error.structure, "run list");
  EXPECT_EQ(error.offset, GetParam().offset);
  EXPECT_EQ(error.field, GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunListFault,
    ::testing::Values(
        RunCase{"field wider than 8 bytes", {0x11, 0x01, 0x10, 0x19, 0}, 10, true, 3, "header"},
        RunCase{"run cut off by the list's end", {0x11, 0x01, 0x10, 0x22, 0x01}, 10, true, 3, "run"},
        RunCase{"cluster before the volume", {0x11, 0x01, 0x10, 0x11, 0x01, 0x80, 0}, 10, false, 3, "cluster offset"},
        RunCase{"runs past the extent", {0x11, 0x20, 0x10, 0}, 10, false, 0, "length"}),
    NameFromWhat());

TEST(FatEntryFault, ImplausibleDeletedEntrySaysWhichField) {
  Bytes entry = ShortEntry("\xE5" "ONE    TXT", 0x20, 10, 100);
  EXPECT_TRUE(CheckPlausibleEntry(entry, 1000, 2026).empty());
  EXPECT_EQ(CheckPlausibleEntry(entry, 5, 2026).Text(),
            "directory entry, byte 0x1a (first cluster): found 0xa, expected 2 to 6");
  entry[0x0B] = 0xC0;
  EXPECT_EQ(CheckPlausibleEntry(entry, 1000, 2026).field, "attributes");
}

}  // namespace
