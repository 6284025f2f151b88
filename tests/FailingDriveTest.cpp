// A failing drive costs only the sectors that cannot be read: the scan goes
// on around them, and a file that holds one is written but not passed as good.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <ostream>

#include "app/Recovery.h"
#include "app/ResultsModel.h"
#include "app/ScanSession.h"
#include "scan/ScanThread.h"
#include "support/CarvedFiles.h"
#include "support/FailingDevice.h"
#include "support/FakeProgress.h"
#include "support/FatImageBuilder.h"
#include "support/Fixtures.h"
#include "support/NtfsImageBuilder.h"
#include "support/ParamNames.h"
#include "volume/ResilientDevice.h"

namespace fs = std::filesystem;

namespace {

std::shared_ptr<const Bytes> Share(Bytes bytes) { return std::make_shared<const Bytes>(std::move(bytes)); }

Bytes Numbered(size_t sectors) {
  Bytes b(sectors * 512);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i / 512 + i);
  return b;
}

TEST(ResilientDevice, AFailingSectorCostsOnlyItself) {
  const Bytes bytes = Numbered(64);
  auto failing = std::make_shared<CFailingDevice>(Share(bytes), std::set<uint64_t>{5, 40});
  CResilientDevice device(failing);
  Bytes out(64 * 512, 0xEE);
  uint32_t got = 0;
  ASSERT_TRUE(device.ReadAt(0, out.data(), static_cast<uint32_t>(out.size()), &got));
  EXPECT_EQ(got, out.size());
  for (size_t s = 0; s < 64; ++s) {
    const bool bad = s == 5 || s == 40;
    const Bytes sector(out.begin() + s * 512, out.begin() + (s + 1) * 512);
    EXPECT_EQ(sector, bad ? Bytes(512, 0) : Bytes(bytes.begin() + s * 512, bytes.begin() + (s + 1) * 512)) << s;
  }
  EXPECT_EQ(device.UnreadableCount(), 2u);
  EXPECT_EQ(device.UnreadableSectors(), (std::vector<uint64_t>{5, 40}));
  EXPECT_EQ(device.DescribeUnreadableSince(0), "5, 40");
  EXPECT_EQ(device.DescribeUnreadableSince(1), "40");
  // Halving finds each bad sector in about two reads per level.
  EXPECT_LE(failing->reads, 30u);
  EXPECT_FALSE(device.IsDead());
}

TEST(ResilientDevice, ReadsNotOnSectorBoundariesKeepTheirBytes) {
  const Bytes bytes = Numbered(8);
  CResilientDevice device(std::make_shared<CFailingDevice>(Share(bytes), std::set<uint64_t>{2}));
  Bytes out(1000);
  uint32_t got = 0;
  ASSERT_TRUE(device.ReadAt(700, out.data(), 1000, &got));
  EXPECT_EQ(got, 1000u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 324, bytes.begin() + 700));  // the rest of sector 1
  EXPECT_EQ(Bytes(out.begin() + 324, out.begin() + 836), Bytes(512, 0));        // sector 2
  EXPECT_TRUE(std::equal(out.begin() + 836, out.end(), bytes.begin() + 1536));   // the start of sector 3
}

TEST(ResilientDevice, ADeviceThatFailsEverythingIsGivenUpOnSoon) {
  auto failing = std::make_shared<CFailingDevice>(Share(Bytes(64 << 20, 1)), std::set<uint64_t>{}, 0);
  CResilientDevice device(failing);
  Bytes chunk(1 << 20);
  uint32_t got = 0;
  size_t failedReads = 0;
  for (uint64_t offset = 0; offset < (64u << 20); offset += chunk.size()) {
    if (!device.ReadAt(offset, chunk.data(), static_cast<uint32_t>(chunk.size()), &got)) ++failedReads;
  }
  EXPECT_TRUE(device.IsDead());
  EXPECT_EQ(device.UnreadableCount(), CResilientDevice::kDeadAfter);
  EXPECT_GE(failedReads, 60u);
  // Each sector is asked for once alone, and once in each of the halves above it.
  EXPECT_LT(failing->reads, 3u * CResilientDevice::kDeadAfter);
}

// Images with one file whose data holds a sector that cannot be read, and one file that reads whole.
struct DriveCase {
  const char* what;
  Bytes (*image)();
  std::set<uint64_t> badSectors;
  int32_t mode;
  const char* failedFile;  // recovered with zeros, counted as failed
  const char* goodFile;
};

void PrintTo(const DriveCase& c, std::ostream* os) { *os << c.what; }

constexpr uint64_t kNtfsDataCluster = 100;

Bytes NtfsWithTwoFiles() {
  NtfsImageBuilder b;
  auto name = [](const char16_t* n, uint64_t size) { return ResidentAttr(0x30, FileNameValue(5, n, 1, size)); };
  b.PutRecord(16, FileRecordBytes(0, {name(u"good.txt", 4), ResidentAttr(0x80, {'g', 'o', 'o', 'd'})}, 16));
  b.PutRecord(17, FileRecordBytes(0, {name(u"damaged.bin", 8192),
                                      NonResidentAttr(0x80, RunList({{kNtfsDataCluster, 2}}), 0, 1, 8192)}, 17));
  b.WriteClusters(kNtfsDataCluster, Bytes(8192, 0x44));
  return b.Image();
}

Bytes Fat32WithTwoFiles() {
  FatImageBuilder b;
  b.WriteCluster(2, Concat({ShortEntry("\xE5" "OOD    TXT", 0x20, 10, 300), ShortEntry("\xE5" "AMAGED BIN", 0x20, 20, 2000)}));
  b.WriteCluster(10, Bytes(300, 0x47));
  for (uint32_t c = 20; c < 24; ++c) b.WriteCluster(c, Bytes(512, 0x44));
  return b.Image();
}

constexpr uint64_t kJpegSector = 100;
constexpr uint64_t kSecondJpegSector = 300;

Bytes RawWithTwoPictures() {
  Bytes image(1 << 20, 0);
  const Bytes jpeg = Jpeg(3000);
  std::copy(jpeg.begin(), jpeg.end(), image.begin() + kJpegSector * 512);
  std::copy(jpeg.begin(), jpeg.end(), image.begin() + kSecondJpegSector * 512);
  return image;
}

uint64_t FatClusterSector(uint32_t cluster) { return FatImageBuilder().ClusterOffset(cluster) / 512; }

class FailingDrive : public ::testing::TestWithParam<DriveCase> {};

TEST_P(FailingDrive, ScanGoesOnAndTheDamagedFileFailsWithItsSectors) {
  const DriveCase& c = GetParam();
  ScanSession session;
  session.selectedDrive = 'D';
  session.device = std::make_shared<CFailingDevice>(Share(c.image()), c.badSectors);
  session.recoveryMode = c.mode;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  EXPECT_EQ(progress.okCalls, 1);
  EXPECT_TRUE(session.sourceError.empty()) << session.sourceError;

  CResultsModel model(session);
  model.ClickNodeCheckBox(model.Tree().GetDriveNode());
  const std::string target = MakeTempFolder();
  const RecoveryReport report = CRecovery(model).RecoverChecked(target);
  EXPECT_EQ(report.written, 1u);
  ASSERT_EQ(report.failed, 1u);
  EXPECT_NE(report.failures[0].find(c.failedFile), std::string::npos) << report.failures[0];
  EXPECT_NE(report.failures[0].find("unreadable sectors at " + std::to_string(*c.badSectors.begin())),
            std::string::npos) << report.failures[0];
  bool goodWritten = false, damagedWritten = false;
  for (const auto& e : fs::recursive_directory_iterator(PathOf(target))) {
    goodWritten = goodWritten || e.path().filename() == c.goodFile;
    damagedWritten = damagedWritten || e.path().filename() == c.failedFile;
  }
  EXPECT_TRUE(goodWritten);
  EXPECT_TRUE(damagedWritten) << "what could be read is still written";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailingDrive,
    ::testing::Values(
        DriveCase{"NTFS, deleted files", NtfsWithTwoFiles, {kNtfsDataCluster * 8 + 3}, ModeDeletedFiles, "damaged.bin",
                  "good.txt"},
        DriveCase{"NTFS, universal", NtfsWithTwoFiles, {kNtfsDataCluster * 8 + 3}, ModeUniversal, "damaged.bin",
                  "good.txt"},
        DriveCase{"FAT32", Fat32WithTwoFiles, {FatClusterSector(21)}, ModeDeletedFiles, "#AMAGED.BIN",
                  "#OOD.TXT"},
        DriveCase{"raw, a picture over a bad sector", RawWithTwoPictures, {kSecondJpegSector + 2}, ModeUniversal,
                  "pic300.jpg", "pic100.jpg"}),
    NameFromWhat());

TEST(FailingDrive, BadSectorsAreCountedForTheResults) {
  ScanSession session;
  session.device = std::make_shared<CFailingDevice>(Share(RawWithTwoPictures()), std::set<uint64_t>{700, 701, 1500});
  session.recoveryMode = ModeUniversal;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  EXPECT_EQ(session.unreadableSectors, 3u);
  EXPECT_EQ(session.foundFiles.size(), 2u);
}

// Neither copy of the FAT reads whole: the clusters the unreadable sectors
// map cannot be told free or used, so they are searched, and the scan says why.
TEST(FailingDrive, FatUnreadableInEveryCopyIsSearchedWhereItCannotTell) {
  FatImageBuilder b;
  const Bytes jpeg = Jpeg(3000);
  b.WriteCluster(100, jpeg);
  b.SetFat(100, 0x0FFFFFFF);  // in use, as far as a FAT that could be read would say
  constexpr uint64_t kFirstFat = 32, kSecondFat = 48;  // reserved sectors, then 16 sectors a FAT
  ScanSession session;
  session.device = std::make_shared<CFailingDevice>(Share(b.Image()), std::set<uint64_t>{kFirstFat, kSecondFat});
  session.recoveryMode = ModeDeletedFiles;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  EXPECT_EQ(session.resultSource, SourceFat32);
  ASSERT_EQ(session.notes.size(), 1u);
  EXPECT_EQ(session.notes[0], "Every copy of the FAT has sectors that cannot be read: the clusters they map are "
                              "searched as free space");
  ASSERT_EQ(session.foundFiles.size(), 1u);
  EXPECT_EQ(session.foundFiles[0].kind, FoundKind::Carved);
}

// A drive that stops answering part way ends the scan with the device's
// error, soon, and keeps what was found before.
TEST(FailingDrive, DriveThatFailsFromAPointOnEndsTheScanSoon) {
  for (int32_t mode : {ModeDeletedFiles, ModeUniversal}) {
    Bytes image(64 << 20, 0);
    const Bytes jpeg = Jpeg(3000);
    std::copy(jpeg.begin(), jpeg.end(), image.begin() + 10 * 512);
    ScanSession session;
    session.device = std::make_shared<CFailingDevice>(Share(std::move(image)), std::set<uint64_t>{}, 4096);
    session.recoveryMode = mode;
    FakeProgress progress;
    const auto start = std::chrono::steady_clock::now();
    ScanThreadProc(progress, session);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(session.sourceError.find("the device fails every read (Input/output error)"), std::string::npos)
        << session.sourceError;
    EXPECT_EQ(session.foundFiles.size(), 1u) << "the picture before the point is kept";
  }
}

}  // namespace
