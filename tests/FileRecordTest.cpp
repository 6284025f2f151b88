#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"

#include <cstring>
#include <numeric>

#include "ntfs/Attributes.h"
#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/MemoryDevice.h"
#include "support/NtfsImageBuilder.h"

namespace {

constexpr uint32_t kCluster = NtfsImageBuilder::kClusterSize;

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
  return b;
}

class FileRecordTest : public ::testing::Test {
 protected:
  CFileRecord& Read(uint64_t n, uint32_t mask = kMaskScan) {
    if (!volume) volume = std::make_unique<CNTFSVolume>(std::make_shared<CMemoryDevice>(builder.Share()));
    record = std::make_unique<CFileRecord>(volume.get());
    record->SetAttrMask(mask);
    ok = record->ReadRecord(n);
    return *record;
  }
  Bytes ReadAll(CAttrBase* data) {
    Bytes out(data->GetDataSize());
    uint32_t got = 0;
    EXPECT_TRUE(data->ReadData(0, out.data(), static_cast<uint32_t>(out.size()), &got));
    EXPECT_EQ(got, out.size());
    return out;
  }

  NtfsImageBuilder builder;
  std::unique_ptr<CNTFSVolume> volume;
  std::unique_ptr<CFileRecord> record;
  bool ok = false;
};

TEST_F(FileRecordTest, ReadsAndParsesADeletedFile) {
  builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x10, StdInfoValue(0x01D0000000000000)),
                                            ResidentAttr(0x30, FileNameValue(5, u"a.txt", 1, 3)),
                                            ResidentAttr(0x80, {'a', 'b', 'c'})}, 20));
  CFileRecord& r = Read(20);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(r.ParseAttrs());
  std::u16string name;
  EXPECT_EQ(r.GetFileName(&name), 5);
  EXPECT_EQ(name, u"a.txt");
  EXPECT_EQ(r.GetParentRef(), 5u);
  EXPECT_EQ(r.GetFileSize(), 3u);
  EXPECT_EQ(r.GetFileTimeUtc(), 0x01D0000000000000u);
  EXPECT_EQ(r.GetRecordFlags(), 0);
  EXPECT_EQ(ReadAll(r.FindUnnamedData()), (Bytes{'a', 'b', 'c'}));
}

TEST_F(FileRecordTest, RejectsBadSignatureAndTornSectors) {
  Bytes baad = FileRecordBytes(0, {}, 20);
  std::memcpy(baad.data(), "BAAD", 4);
  builder.PutRecord(20, baad);
  Bytes torn = FileRecordBytes(0, {}, 21);
  torn[1022] ^= 0xFF;  // the second sector's update sequence word no longer matches
  builder.PutRecord(21, torn);
  Read(20);
  EXPECT_FALSE(ok);
  Read(21);
  EXPECT_FALSE(ok);
}

TEST_F(FileRecordTest, FixupsRestoreTheSectorEnds) {
  Bytes value(600, 0);
  value[510 - 0x18 - 0x38] = 0x5A;  // the byte pair that the update sequence replaces on disk
  builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x80, value)}, 20));
  CFileRecord& r = Read(20, kMaskData);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(r.ParseAttrs());
  EXPECT_EQ(ReadAll(r.FindUnnamedData()), value);
}

struct NameCase {
  const char* what;
  std::vector<std::pair<std::u16string, uint8_t>> names;  // name, name type
  std::u16string expected;
};

// Shows the case by its description in test output.
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

class FileNameChoice : public FileRecordTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(FileNameChoice, SkipsDosNames) {
  std::vector<Bytes> attrs;
  for (const auto& [n, type] : GetParam().names) attrs.push_back(ResidentAttr(0x30, FileNameValue(5, n, type)));
  builder.PutRecord(20, FileRecordBytes(0, attrs, 20));
  CFileRecord& r = Read(20);
  ASSERT_TRUE(r.ParseAttrs());
  std::u16string name;
  EXPECT_EQ(r.GetFileName(&name), static_cast<int>(GetParam().expected.size())) << GetParam().what;
  EXPECT_EQ(name, GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, FileNameChoice,
                         ::testing::Values(NameCase{"DOS before Win32", {{u"LONGNA~1.TXT", 2}, {u"long name.txt", 1}}, u"long name.txt"},
                                           NameCase{"DOS only", {{u"A.TXT", 2}}, u""},
                                           NameCase{"POSIX only", {{u"Posix", 0}}, u"Posix"},
                                           NameCase{"empty Win32 name skipped", {{u"", 1}, {u"b", 3}}, u"b"}), NameFromWhat());

TEST_F(FileRecordTest, CompressedOrEncryptedFilesDoNotParse) {
  for (uint32_t flag : {kFileCompressed, kFileEncrypted}) {
    builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x10, StdInfoValue(0, flag)),
                                              ResidentAttr(0x80, {'x'})}, 20));
    volume.reset();
    EXPECT_FALSE(Read(20, kMaskData).ParseAttrs());
    EXPECT_FALSE(Read(20, kMaskScan).ParseAttrs());
  }
}

TEST_F(FileRecordTest, NamedStreamBeforeTheUnnamedOneIsSkipped) {
  builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x80, {'n'}, u"Zone.Identifier"),
                                            ResidentAttr(0x80, {'u', 'v'})}, 20));
  CFileRecord& r = Read(20, kMaskData);
  ASSERT_TRUE(r.ParseAttrs());
  EXPECT_EQ(ReadAll(r.FindUnnamedData()), (Bytes{'u', 'v'}));
}

TEST_F(FileRecordTest, AttributeWalkEndsAtZeroLengthOrPastTheRecord) {
  Bytes zero = ResidentAttr(0x80, {'z'});
  zero[4] = zero[5] = zero[6] = zero[7] = 0;  // total length 0
  Bytes past = ResidentAttr(0x80, {'p'});
  past[5] = 0x10;  // total length 0x1000, beyond the 1024-byte record
  for (const Bytes& bad : {zero, past}) {
    builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x30, FileNameValue(5, u"kept")), bad}, 20));
    volume.reset();
    CFileRecord& r = Read(20);
    ASSERT_TRUE(r.ParseAttrs());
    std::u16string name;
    EXPECT_EQ(r.GetFileName(&name), 4);
    EXPECT_EQ(r.FindUnnamedData(), nullptr);
  }
}

TEST_F(FileRecordTest, ValueOutsideItsAttributeFailsTheParse) {
  Bytes bad = ResidentAttr(0x80, {'a', 'b'});
  bad[0x10] = 0xFF;  // value length 255 in an attribute of 32 bytes
  builder.PutRecord(20, FileRecordBytes(0, {bad}, 20));
  EXPECT_FALSE(Read(20, kMaskData).ParseAttrs());
}

TEST_F(FileRecordTest, NonResidentReadsAcrossRunsAndPartialClusters) {
  const Bytes data = Pattern(3 * kCluster + 100, 3);
  builder.WriteClusters(100, Bytes(data.begin(), data.begin() + 2 * kCluster));
  builder.WriteClusters(200, Bytes(data.begin() + 2 * kCluster, data.end()));
  builder.PutRecord(20, FileRecordBytes(0, {NonResidentAttr(0x80, RunList({{100, 2}, {200, 2}}), 0, 3, data.size())}, 20));
  CFileRecord& r = Read(20, kMaskData);
  ASSERT_TRUE(r.ParseAttrs());
  CAttrBase* attr = r.FindUnnamedData();
  EXPECT_EQ(ReadAll(attr), data);
  uint8_t ten[10];
  uint32_t got = 0;
  ASSERT_TRUE(attr->ReadData(kCluster - 5, ten, 10, &got));
  EXPECT_EQ(got, 10u);
  EXPECT_TRUE(std::equal(ten, ten + 10, data.begin() + kCluster - 5));
  EXPECT_TRUE(attr->ReadData(data.size(), ten, 10, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(attr->ReadData(data.size() + 1, ten, 10, &got));
}

TEST_F(FileRecordTest, SparseRunsReadAsZerosFromTheirMiddle) {
  builder.WriteClusters(100, Pattern(kCluster, 9));
  builder.PutRecord(20, FileRecordBytes(0, {NonResidentAttr(0x80, RunList({{100, 1}, {-1, 16}}), 0, 16, 17 * kCluster)}, 20));
  CFileRecord& r = Read(20, kMaskData);
  ASSERT_TRUE(r.ParseAttrs());
  Bytes middle(kCluster * 2, 0xAA);
  uint32_t got = 0;
  ASSERT_TRUE(r.FindUnnamedData()->ReadData(5 * kCluster + 17, middle.data(), static_cast<uint32_t>(middle.size()), &got));
  EXPECT_EQ(got, middle.size());
  EXPECT_EQ(middle, Bytes(kCluster * 2, 0));
}

TEST_F(FileRecordTest, ResidentReadAtItsEndFails) {
  builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x80, {'a'})}, 20));
  CFileRecord& r = Read(20, kMaskData);
  ASSERT_TRUE(r.ParseAttrs());
  uint8_t b;
  uint32_t got = 0;
  EXPECT_FALSE(r.FindUnnamedData()->ReadData(1, &b, 1, &got));
}

TEST_F(FileRecordTest, DataSizeBeyondTheRunsFailsInsteadOfReadingGarbage) {
  builder.PutRecord(20, FileRecordBytes(0, {NonResidentAttr(0x80, RunList({{100, 1}}), 0, 0, 1ULL << 40)}, 20));
  CFileRecord& r = Read(20, kMaskData);
  ASSERT_TRUE(r.ParseAttrs());
  Bytes out(3 * kCluster);
  uint32_t got = 0;
  EXPECT_FALSE(r.FindUnnamedData()->ReadData(0, out.data(), static_cast<uint32_t>(out.size()), &got));
}

// A stream whose runs continue in extents held by extension records.
class ExtentsTest : public FileRecordTest {
 protected:
  void Build(bool duplicateEntry) {
    data = Pattern(6 * kCluster + 10, 1);
    builder.WriteClusters(100, Bytes(data.begin(), data.begin() + 2 * kCluster));
    builder.WriteClusters(300, Bytes(data.begin() + 2 * kCluster, data.begin() + 4 * kCluster));
    builder.WriteClusters(500, Bytes(data.begin() + 4 * kCluster, data.end()));
    Bytes list;
    auto add = [&](const Bytes& e) { list.insert(list.end(), e.begin(), e.end()); };
    add(AttrListEntry(0x30, 0, 22));
    add(AttrListEntry(0x80, 0, 20));
    add(AttrListEntry(0x80, 2, 21));
    if (duplicateEntry) add(AttrListEntry(0x80, 2, 21));
    add(AttrListEntry(0x80, 4, 23));
    builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x20, list),
                                              NonResidentAttr(0x80, RunList({{100, 2}}), 0, 1, data.size())}, 20));
    builder.PutRecord(21, FileRecordBytes(0, {NonResidentAttr(0x80, RunList({{300, 2}}), 2, 3, 0)}, 21));
    builder.PutRecord(22, FileRecordBytes(0, {ResidentAttr(0x30, FileNameValue(5, u"frag.bin"))}, 22));
    builder.PutRecord(23, FileRecordBytes(0, {NonResidentAttr(0x80, RunList({{500, 3}}), 4, 6, 0)}, 23));
  }
  Bytes data;
};

TEST_F(ExtentsTest, StreamIsReadAcrossAllItsExtentsInVcnOrder) {
  for (bool duplicate : {false, true}) {
    builder = NtfsImageBuilder();
    volume.reset();
    Build(duplicate);
    CFileRecord& r = Read(20);
    ASSERT_TRUE(r.ParseAttrs());
    std::u16string name;
    EXPECT_EQ(r.GetFileName(&name), 8) << "the name lives in an extension record";
    EXPECT_EQ(ReadAll(r.FindUnnamedData()), data) << (duplicate ? "duplicate entry" : "plain");
  }
}

TEST_F(ExtentsTest, ZeroLengthListEntryEndsTheExpansion) {
  Bytes list = AttrListEntry(0x80, 2, 21, 0);
  builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x20, list)}, 20));
  CFileRecord& r = Read(20);
  EXPECT_TRUE(r.ParseAttrs());
  EXPECT_EQ(r.FindUnnamedData(), nullptr);
}

TEST_F(ExtentsTest, ListNamingItselfAsAListDoesNotRecurse) {
  Bytes list = AttrListEntry(0x20, 0, 21);
  builder.PutRecord(20, FileRecordBytes(0, {ResidentAttr(0x20, list)}, 20));
  builder.PutRecord(21, FileRecordBytes(0, {ResidentAttr(0x20, AttrListEntry(0x20, 0, 20))}, 21));
  EXPECT_TRUE(Read(20).ParseAttrs());
}

}  // namespace
