#include <gtest/gtest.h>

#include <cstring>

#include "app/ScanSession.h"
#include "platform/MemoryDevice.h"
#include "ntfs/FileRecord.h"
#include "platform/Drives.h"
#include "scan/ScanThread.h"
#include "support/FakeProgress.h"
#include "support/Fixtures.h"
#include "support/NtfsImageBuilder.h"

namespace {

constexpr char kLetter = 'Q';

DirectoryInfo Dir(uint64_t parent, const char* name, uint8_t deleted = 1) {
  return DirectoryInfo{deleted, parent, name, 0};
}

TEST(EnsureDirectoryPath, MarksTheChainUpToTheRoot) {
  ScanSession s;
  s.directories[30] = Dir(5, "a");
  s.directories[31] = Dir(30, "b");
  EnsureDirectoryPath(s, 31 | (7ULL << 48));  // the sequence number takes no part
  EXPECT_EQ(s.directories[30].onPath, 1);
  EXPECT_EQ(s.directories[31].onPath, 1);
  EXPECT_EQ(s.placeholderCount, 0u);
}

TEST(EnsureDirectoryPath, MissingParentsGetNumberedPlaceholders) {
  ScanSession s;
  s.directories[30] = Dir(40, "a");  // 40 is gone
  EnsureDirectoryPath(s, 30);
  EnsureDirectoryPath(s, 41);
  EnsureDirectoryPath(s, 41);  // a second file in the same missing folder
  ASSERT_EQ(s.placeholderCount, 2u);
  EXPECT_EQ(s.directories[40].name, "dir1");
  EXPECT_EQ(s.directories[40].parentRef, 0u);
  EXPECT_EQ(s.directories[41].name, "dir2");
}

TEST(EnsureDirectoryPath, ReferenceZeroBecomesItsOwnParent) {
  ScanSession s;
  EnsureDirectoryPath(s, 0);
  ASSERT_EQ(s.directories.count(0), 1u);
  EXPECT_EQ(s.directories[0].parentRef, 0u);
}

TEST(EnsureDirectoryPath, ParentCycleEndsAfterOneLapUnderTheFoundFiles) {
  ScanSession s;
  s.directories[30] = Dir(31, "a");
  s.directories[31] = Dir(30, "b");
  EnsureDirectoryPath(s, 30);
  EXPECT_EQ(s.directories[30].onPath, 1);
  EXPECT_EQ(s.directories[31].onPath, 1);
  EXPECT_EQ(s.placeholderCount, 0u);
  // The cycle is cut where it closes, so its files are shown under 找到的文件.
  EXPECT_EQ(s.directories[30].parentRef, kPlaceholderParentId);
  EnsureDirectoryPath(s, 31);  // a second file there changes nothing more
  EXPECT_EQ(s.directories[31].parentRef, 30u);
}

// A volume holding: live dir 16 "live" (root), deleted dir 17 "gone" holding
// deleted 18 "x.txt"; deleted 19 "orphan" whose parent 40 is not a directory;
// live file 20; compressed deleted file 21; unnamed deleted record 22.
NtfsImageBuilder MixedVolume() {
  NtfsImageBuilder b;
  auto fileName = [](uint64_t parent, const char16_t* name) { return ResidentAttr(0x30, FileNameValue(parent, name, 1, 1)); };
  b.PutRecord(16, FileRecordBytes(kRecordInUse | kRecordIsDirectory, {fileName(5, u"live")}, 16));
  b.PutRecord(17, FileRecordBytes(kRecordIsDirectory, {fileName(16, u"gone")}, 17));
  b.PutRecord(18, FileRecordBytes(0, {ResidentAttr(0x10, StdInfoValue(0x01D5000000000000)), fileName(17, u"x.txt"), ResidentAttr(0x80, {'x'})}, 18));
  b.PutRecord(19, FileRecordBytes(0, {fileName(40, u"orphan")}, 19));
  b.PutRecord(20, FileRecordBytes(kRecordInUse, {fileName(16, u"alive.txt")}, 20));
  b.PutRecord(21, FileRecordBytes(0, {ResidentAttr(0x10, StdInfoValue(0, kFileCompressed)), fileName(16, u"packed")}, 21));
  b.PutRecord(22, FileRecordBytes(0, {ResidentAttr(0x80, {'?'})}, 22));
  b.PutRecord(40, FileRecordBytes(kRecordInUse, {fileName(5, u"notadir")}, 40));
  return b;
}

class MftScanTest : public ::testing::Test {
 protected:
  void Scan(const NtfsImageBuilder& b, FakeProgress& progress, int32_t mode = ModeDeletedFiles) {
    session = std::make_unique<ScanSession>();
    session->selectedDrive = kLetter;
    session->device = std::make_shared<CMemoryDevice>(b.Share());
    session->recoveryMode = mode;
    ScanThreadProc(progress, *session);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const FoundFile& f : session->foundFiles) names.push_back(f.name);
    return names;
  }
  std::unique_ptr<ScanSession> session;
};

TEST_F(MftScanTest, CollectsDeletedFilesAndTheirFolders) {
  FakeProgress progress;
  Scan(MixedVolume(), progress);
  EXPECT_EQ(progress.okCalls, 1);
  EXPECT_EQ(session->resultSource, SourceNtfs);
  EXPECT_EQ(Names(), (std::vector<std::string>{"x.txt", "orphan"}));
  const FoundFile& x = session->foundFiles[0];
  EXPECT_EQ(x.id, 18u);
  EXPECT_EQ(x.size, 1u);
  EXPECT_EQ(x.utcTime, 0x01D5000000000000u);
  // Pruned to the directories on some path, plus the placeholder for 40.
  ASSERT_EQ(session->directories.size(), 3u);
  EXPECT_EQ(session->directories.at(16).deleted, 0);
  EXPECT_EQ(session->directories.at(17).deleted, 1);
  EXPECT_EQ(session->directories.at(40).name, "dir1");
  EXPECT_EQ(progress.rangeHigh, 64u);
  EXPECT_EQ(progress.percentTexts.back(), "100.0%");
}

TEST_F(MftScanTest, CancelStillBuildsPathsButDoesNotCloseTheDialog) {
  FakeProgress progress(1);
  Scan(MixedVolume(), progress);
  EXPECT_EQ(progress.okCalls, 0);
  for (const auto& [key, dir] : session->directories) EXPECT_EQ(dir.onPath, 1) << key;
}

TEST_F(MftScanTest, VolumeWithNoUserRecordsEndsWithOk) {
  FakeProgress progress;
  Scan(NtfsImageBuilder(16), progress);
  EXPECT_EQ(progress.okCalls, 1);
  EXPECT_TRUE(session->foundFiles.empty());
  EXPECT_TRUE(session->directories.empty());
}

TEST_F(MftScanTest, NonNtfsDriveFallsBackToTheSignatureScan) {
  NtfsImageBuilder b;
  std::memcpy(b.Image().data() + 3, "MSDOS5.0", 8);
  FakeProgress progress;
  Scan(b, progress);
  EXPECT_EQ(progress.okCalls, 1);
  EXPECT_NE(session->resultSource, SourceNtfs);
  EXPECT_TRUE(session->foundFiles.empty());
}

TEST_F(MftScanTest, DriveThatCannotBeOpenedIsReported) {
  session = std::make_unique<ScanSession>();
  session->selectedDrive = '#';
  FakeProgress progress;
  ScanThreadProc(progress, *session);
  EXPECT_FALSE(session->sourceError.empty());
}

// Cancelled as soon as carving starts, in universal mode on NTFS: the MFT
// walk came first, so every deleted file is there with its name.
class CancelWhenCarvingStarts : public FakeProgress {
 public:
  void SetTitle(const std::string& t) override {
    FakeProgress::SetTitle(t);
    if (t == "正在初始化,请等待......") cancelled = true;
  }
};

TEST(NtfsUniversalScan, ACancelWhileCarvingKeepsEveryNamedFile) {
  std::string error;
  std::vector<char> letters;
  ASSERT_TRUE(RegisterImage(FixturePath("ntfs-sample.img") + "=Q", &error, nullptr, &letters)) << error;
  ScanSession session;
  session.selectedDrive = 'Q';
  ASSERT_TRUE(OpenSelectedDrive(session, &error)) << error;
  session.recoveryMode = ModeUniversal;
  CancelWhenCarvingStarts progress;
  ScanThreadProc(progress, session);
  ForgetDrive('Q');
  EXPECT_TRUE(progress.cancelled);
  size_t deleted = 0;
  for (const ManifestEntry& e : LoadManifest("ntfs-sample.img")) deleted += e.state == "deleted" ? 1 : 0;
  size_t named = 0;
  for (const FoundFile& f : session.foundFiles) named += f.kind == FoundKind::Ntfs ? 1 : 0;
  EXPECT_EQ(named, deleted);
  EXPECT_TRUE(session.carvedFiles.empty()) << "the carving was cancelled before it began";
}

}  // namespace
