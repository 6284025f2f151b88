#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/ScanSession.h"
#include "platform/MemoryDevice.h"
#include "app/PathNames.h"
#include "app/Recovery.h"
#include "platform/FileOutput.h"
#include "platform/Text.h"
#include "ntfs/FileRecord.h"
#include "platform/Drives.h"
#include "scan/ScanThread.h"
#include "support/FakeProgress.h"
#include "support/FillingTarget.h"
#include "support/FixtureCases.h"
#include "support/FixtureSession.h"
#include "support/ManifestCheck.h"
#include "support/ParamNames.h"
#include "support/NtfsImageBuilder.h"
#include "support/Sha256.h"

namespace fs = std::filesystem;

namespace {

// The files a run wrote, the report left out.
size_t CountFiles(const std::string& folder) {
  size_t n = 0;
  for (const auto& e : fs::recursive_directory_iterator(PathOf(folder))) {
    n += e.is_regular_file() && e.path().filename() != PathOf(kRecoveryReportName);
  }
  return n;
}

// The report's rows after its heading, each split at its commas (the
// fixtures' names hold none).
std::vector<std::vector<std::string>> ReportRows(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  std::string text(bytes.begin(), bytes.end());
  std::vector<std::vector<std::string>> rows;
  size_t start = text.find("\r\n");
  while (start != std::string::npos && start + 2 < text.size()) {
    const size_t end = text.find("\r\n", start + 2);
    const std::string line = text.substr(start + 2, end - start - 2);
    std::vector<std::string> fields;
    for (size_t from = 0;;) {
      const size_t comma = line.find(',', from);
      fields.push_back(line.substr(from, comma - from));
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
    rows.push_back(fields);
    start = end;
  }
  return rows;
}

class FixtureRecovery : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureRecovery, EverythingCheckedComesBackByteForByte) {
  const FixtureCase& c = GetParam();
  FixtureSession fx(c, 'T');
  CResultsModel& m = *fx.model;
  m.ClickNodeCheckBox(m.Tree().GetDriveNode());
  const std::string target = MakeTempFolder();
  RecoveryReport report = CRecovery(m).RecoverChecked(target);
  EXPECT_FALSE(report.refused);
  EXPECT_EQ(report.failed, 0u) << (report.failures.empty() ? "" : report.failures[0]);
  EXPECT_EQ(report.rootPath, target + kPathSeparator + fx.session.selectedDrive + "盘恢复的文件");
  const size_t expected = ExpectRecoveredAsManifest(report.rootPath, c) + CountListedInPart(c);
  EXPECT_EQ(report.written, expected);
  EXPECT_EQ(CountFiles(report.rootPath), expected);
  // The report lists every file written, with the digests of what is on the disk.
  ASSERT_EQ(report.reportPath, report.rootPath + kPathSeparator + kRecoveryReportName);
  const auto rows = ReportRows(report.reportPath);
  ASSERT_EQ(rows.size(), report.files.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 9u);
    EXPECT_EQ(rows[i][1], report.files[i].name);
    EXPECT_EQ(rows[i][2], std::to_string(report.files[i].size));
    EXPECT_EQ(rows[i][4], "written");
    EXPECT_EQ(rows[i][5], Sha256OfFile(report.files[i].path)) << report.files[i].path;
    EXPECT_EQ(report.rootPath + kPathSeparator + rows[i][7], report.files[i].path);
    EXPECT_EQ(rows[i][6].size(), 32u);
    EXPECT_NE(rows[i][3], "pending");
    EXPECT_EQ(rows[i][8], report.files[i].conditionWhy);
  }
}

// A partly overwritten file is written, and the report says which part of it
// other files now hold.
TEST(FixtureRecoveryReport, SaysHowMuchOfAnOverwrittenFileOtherFilesHold) {
  FixtureSession fx("ntfs-conditions.img");
  CResultsModel& m = *fx.model;
  m.ClickNodeCheckBox(m.Tree().GetDriveNode());
  RecoveryReport report = CRecovery(m).RecoverChecked(MakeTempFolder());
  bool seen = false;
  for (const auto& row : ReportRows(report.reportPath)) {
    if (row.size() != 9 || row[1] != "half.bin") continue;
    seen = true;
    EXPECT_EQ(row[3], "partly-overwritten");
    EXPECT_EQ(row[4], "written");
    EXPECT_NE(row[8].find("of its 10 clusters are in use by other files"), std::string::npos) << row[8];
  }
  EXPECT_TRUE(seen);
}

// A checked FAT folder writes only the files the user left checked in it.
TEST(FatRecovery, AFileUncheckedInACheckedFolderIsNotWritten) {
  FixtureSession fx("fat32-sample.img");
  CResultsModel& m = *fx.model;
  CTreeNode* pics = m.Tree().FindByPath("删除的文件/Pics");
  ASSERT_NE(pics, nullptr);
  m.ClickNodeCheckBox(pics);
  m.SelectNode(pics);
  size_t unchecked = m.Rows().size();
  for (size_t i = 0; i < m.Rows().size(); ++i) {
    if (m.Rows()[i].name == "Pic1.bmp") unchecked = i;
  }
  ASSERT_LT(unchecked, m.Rows().size());
  const size_t files = m.Rows().size();
  m.ClickRowCheckBox(unchecked);
  EXPECT_FALSE(m.Rows()[unchecked].checked);
  m.SelectNode(m.Tree().FindByPath("删除的文件"));
  m.SelectNode(pics);
  EXPECT_FALSE(m.Rows()[unchecked].checked) << "the check is the entry's own, kept across selections";
  const RecoveryReport report = CRecovery(m).RecoverChecked(MakeTempFolder());
  EXPECT_EQ(report.written, files - 1);
  EXPECT_TRUE(FindFilesMatching(report.rootPath, "删除的文件/Pics/Pic1.bmp").empty());
  EXPECT_EQ(FindFilesMatching(report.rootPath, "删除的文件/Pics/Pic2.bmp").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureRecovery, ::testing::ValuesIn(kFixtureCases), NameFromWhat());
INSTANTIATE_TEST_SUITE_P(Partitions, FixtureRecovery, ::testing::ValuesIn(kPartitionCases), NameFromWhat());
#ifndef _WIN32
INSTANTIATE_TEST_SUITE_P(Containers, FixtureRecovery, ::testing::ValuesIn(kContainerCases), NameFromWhat());
#endif
INSTANTIATE_TEST_SUITE_P(LargeImages, FixtureRecovery, ::testing::ValuesIn(kLargeFixtureCases), NameFromWhat());

TEST(Recovery, OnlyTheCheckedNodeAndItsAncestorsAreWritten) {
  FixtureSession fx("ntfs-sample.img");
  CResultsModel& m = *fx.model;
  m.ClickNodeCheckBox(m.Tree().FindByPath("删除的文件/old/inner"));
  const std::string target = MakeTempFolder();
  RecoveryReport report = CRecovery(m).RecoverChecked(target);
  EXPECT_EQ(report.written, 1u);
  EXPECT_TRUE(fs::is_regular_file(PathOf(report.rootPath + "/删除的文件/old/inner/b.bin")));
  EXPECT_EQ(CountFiles(report.rootPath), 1u);
}

TEST(Recovery, NothingCheckedWritesNothing) {
  FixtureSession fx("ntfs-sample.img");
  const std::string target = MakeTempFolder();
  RecoveryReport report = CRecovery(*fx.model).RecoverChecked(target);
  EXPECT_EQ(report.written + report.failed, 0u);
  EXPECT_FALSE(fs::exists(PathOf(report.rootPath)));
}

TEST(Recovery, SearchMatchesGoToTheRoot) {
  FixtureSession fx("ntfs-sample.img");
  ASSERT_EQ(fx.model->FindFiles(".BIN"), 3u);
  const std::string target = MakeTempFolder();
  RecoveryReport report = CRecovery(*fx.model).RecoverRows(fx.model->Rows(), target);
  EXPECT_EQ(report.written, 3u);
  EXPECT_TRUE(fs::is_regular_file(PathOf(report.rootPath + "/b.bin")));
}

// Files ticked among a search's matches are recovered with the checked
// files, in their folders, wherever they were ticked and whatever the boxes
// of their folders say; files left unticked are not.
struct TickedMatchCase {
  const char* what;
  const char* image;
  int32_t mode;
  const char* search;
  const char* written;  // the tree path of the one match ticked
};

void PrintTo(const TickedMatchCase& c, std::ostream* os) { *os << c.what; }

class TickedMatches : public ::testing::TestWithParam<TickedMatchCase> {};

TEST_P(TickedMatches, AreRecoveredWithTheCheckedFiles) {
  const TickedMatchCase& c = GetParam();
  FixtureSession fx(c.image, 'T', c.mode);
  CResultsModel& m = *fx.model;
  m.SelectNode(m.Tree().GetDriveNode());
  ASSERT_GT(m.FindFiles(c.search), 0u) << c.what;
  size_t ticked = SIZE_MAX;
  for (size_t i = 0; i < m.Rows().size(); ++i) {
    if (m.Rows()[i].folder + "/" + m.Rows()[i].name == c.written) ticked = i;
  }
  ASSERT_NE(ticked, SIZE_MAX) << c.written;
  m.ClickRowCheckBox(ticked);
  EXPECT_EQ(CRecovery::CheckedFileCount(m), 1u);
  const std::string target = MakeTempFolder();
  RecoveryReport report = CRecovery(m).RecoverChecked(target);
  EXPECT_FALSE(report.nothingChecked);
  EXPECT_EQ(report.written, 1u);
  EXPECT_EQ(CountFiles(report.rootPath), 1u);
  EXPECT_EQ(FindFilesMatching(report.rootPath, c.written).size(), 1u) << c.written;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TickedMatches,
    ::testing::Values(TickedMatchCase{"ntfs_deleted_file", "ntfs-sample.img", ModeDeletedFiles, "b.bin",
                                      "删除的文件/old/inner/b.bin"},
                      TickedMatchCase{"fat32_deleted_file", "fat32-sample.img", ModeDeletedFiles, "beta",
                                      "删除的文件/Old Stuff/Inner/Beta.bin"},
                      TickedMatchCase{"carved_file", "raw-carve.img", ModeDeletedFiles, "xlsx",
                                      "按类型分类的文件/xlsx/ID_XLSX5100.xlsx"}),
    NameFromWhat());

// Byte-level volume: two deleted files of one name in one folder, a name with
// separators, and a record that is in use again by the time of recovery.
class RecoveryEdgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto name = [](const char16_t* n) { return ResidentAttr(0x30, FileNameValue(5, n, 1, 1)); };
    b.PutRecord(16, FileRecordBytes(0, {name(u"same.txt"), ResidentAttr(0x80, {'1'})}, 16));
    b.PutRecord(17, FileRecordBytes(0, {name(u"same.txt"), ResidentAttr(0x80, {'2'})}, 17));
    b.PutRecord(18, FileRecordBytes(0, {name(u"../../evil"), ResidentAttr(0x80, {'e'})}, 18));
    b.PutRecord(19, FileRecordBytes(0, {name(u"reused.txt"), ResidentAttr(0x80, {'r'})}, 19));
    image = std::make_shared<std::vector<uint8_t>>(b.Image());
    session.selectedDrive = 'M';
    session.device = std::make_shared<CMemoryDevice>(image);
    session.recoveryMode = ModeDeletedFiles;
    ScanThreadProc(progress, session);
    model = std::make_unique<CResultsModel>(session);
    model->ClickNodeCheckBox(model->Tree().GetDriveNode());
  }

  NtfsImageBuilder b;
  std::shared_ptr<std::vector<uint8_t>> image;
  ScanSession session;
  FakeProgress progress;
  std::unique_ptr<CResultsModel> model;
};

TEST_F(RecoveryEdgeTest, SameNamesAreKeptAndHostileNamesStayInside) {
  const std::string target = MakeTempFolder();
  RecoveryReport report = CRecovery(*model).RecoverChecked(target);
  EXPECT_EQ(report.written, 4u);
  const std::string folder = report.rootPath + "/删除的文件/";
  EXPECT_EQ(Sha256OfFile(folder + "same.txt"), Sha256Hex(reinterpret_cast<const uint8_t*>("1"), 1));
  EXPECT_EQ(Sha256OfFile(folder + "same (2).txt"), Sha256Hex(reinterpret_cast<const uint8_t*>("2"), 1));
  EXPECT_TRUE(fs::is_regular_file(PathOf(folder + ".._.._evil")));
  EXPECT_EQ(CountFiles(target), 4u);
}

TEST_F(RecoveryEdgeTest, RecordInUseAgainIsAFailureNotAnotherFile) {
  // After the scan, record 19 is taken by a live file.
  const Bytes live = FileRecordBytes(kRecordInUse, {ResidentAttr(0x30, FileNameValue(5, u"new.txt", 1, 1)),
                                                    ResidentAttr(0x80, {'n'})}, 19);
  std::copy(live.begin(), live.end(), image->begin() + NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize + 19 * 1024);
  const std::string target = MakeTempFolder();
  RecoveryReport report = CRecovery(*model).RecoverChecked(target);
  EXPECT_EQ(report.written, 3u);
  ASSERT_EQ(report.failed, 1u);
  EXPECT_NE(report.failures[0].find("reused"), std::string::npos) << report.failures[0];
  EXPECT_FALSE(fs::exists(PathOf(report.rootPath + "/删除的文件/reused.txt")));
}

TEST_F(RecoveryEdgeTest, UnwritableTargetCountsEveryFileAsFailed) {
  RecoveryReport report = CRecovery(*model).RecoverChecked("/no/such/folder");
  EXPECT_EQ(report.written, 0u);
  EXPECT_GT(report.failed, 0u);
  EXPECT_NE(report.failures[0].find(kMissingPathReason), std::string::npos) << report.failures[0];
}

TEST_F(RecoveryEdgeTest, CancelStopsBetweenFiles) {
  int calls = 0;
  RecoveryReport report = CRecovery(*model).RecoverChecked(MakeTempFolder(), [&](const std::string&, const RecoveryReport&) {
    return ++calls < 2;
  });
  EXPECT_TRUE(report.cancelled);
  EXPECT_EQ(report.written, 1u);
}

TEST(Recovery, AFullTargetStopsTheRunAndRemovesTheFileCutShort) {
  FixtureSession fx("ntfs-sample.img", 'T', ModeDeletedFiles, true);
  ASSERT_TRUE(fx.registered);
  CResultsModel& m = *fx.model;
  m.ClickNodeCheckBox(m.Tree().GetDriveNode());
  const size_t checked = CRecovery::CheckedFileCount(m);
  ASSERT_GT(checked, 3u);
  const std::string target = MakeTempFolder();
  RecoveryReport report;
  {
    // Room for a few small files, then none.
    FillingTarget target40k(40000);
    report = CRecovery(m).RecoverChecked(target);
  }
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(report.stopReason, "目标盘空间不足");
  ASSERT_EQ(report.failed, 1u) << "the run stops at the first file that does not fit";
  EXPECT_LT(report.written + report.failed, checked);
  const RecoveredFile& cut = report.files.back();
  EXPECT_FALSE(cut.written);
  EXPECT_FALSE(fs::exists(PathOf(cut.path))) << "the file cut short is removed";
  EXPECT_EQ(CountFiles(report.rootPath), report.written);
  for (const RecoveredFile& f : report.files) {
    if (f.written) {
      EXPECT_EQ(fs::file_size(PathOf(f.path)), f.size) << f.path;
    }
  }
  EXPECT_EQ(RecoverySummaryText(report).rfind("恢复已停止: 目标盘空间不足", 0), 0u);
  // The files the run never came to are counted and said.
  EXPECT_EQ(report.written + report.failed + report.notAttempted, checked);
  EXPECT_NE(RecoverySummaryText(report).find(std::to_string(report.notAttempted) + " 个选中的文件没有尝试恢复"),
            std::string::npos);
}

TEST_F(RecoveryEdgeTest, NothingAtTheTargetIsEverOpenedForWriting) {
  const std::string target = MakeTempFolder();
  // What the user keeps there: a file of a recovered name, and a link named
  // like a recovered file that leads to the scanned image itself.
  const std::string folder = target + "/M盘恢复的文件/删除的文件";
  fs::create_directories(PathOf(folder));
  { std::ofstream(PathOf(folder + "/same.txt")) << "mine"; }
  const std::string source = target + "/source.img";
  { std::ofstream(PathOf(source)) << "the scanned image"; }
  std::error_code linked;
  fs::create_symlink(PathOf(source), PathOf(folder + "/reused.txt"), linked);
  if (linked) {
    // Wine, or Windows without the right to make links: a plain file stands in.
    std::ofstream(PathOf(folder + "/reused.txt")) << "link";
  }
  RecoveryReport first = CRecovery(*model).RecoverChecked(target);
  EXPECT_EQ(first.failed, 0u) << (first.failures.empty() ? "" : first.failures[0]);
  EXPECT_EQ(first.written, 4u);
  EXPECT_EQ(Sha256OfFile(folder + "/same.txt"), Sha256Hex(reinterpret_cast<const uint8_t*>("mine"), 4));
  EXPECT_EQ(Sha256OfFile(source), Sha256Hex(reinterpret_cast<const uint8_t*>("the scanned image"), 17));
  EXPECT_TRUE(fs::is_regular_file(PathOf(folder + "/same (2).txt")));
  EXPECT_TRUE(fs::is_regular_file(PathOf(folder + "/same (3).txt")));
  EXPECT_TRUE(fs::is_regular_file(PathOf(folder + "/reused (2).txt")));
  // A second run into the same folder keeps the first run's files and report.
  RecoveryReport second = CRecovery(*model).RecoverChecked(target);
  EXPECT_EQ(second.written, 4u);
  EXPECT_EQ(second.rootPath, first.rootPath);
  EXPECT_NE(second.reportPath, first.reportPath);
  EXPECT_TRUE(fs::is_regular_file(PathOf(first.reportPath)));
  EXPECT_EQ(CountFiles(target), 1u + 2u + 4u + 4u + 1u) << "source, mine and the link, both runs, the second report";
  // One file through the save dialog onto the image's own path.
  RecoveryReport one = CRecovery(*model).RecoverOne(*model->Rows().front().file, source);
  EXPECT_EQ(one.written, 1u);
  EXPECT_EQ(one.files.front().path, target + kPathSeparator + "source (2).img");
  EXPECT_EQ(Sha256OfFile(source), Sha256Hex(reinterpret_cast<const uint8_t*>("the scanned image"), 17));
}

TEST_F(RecoveryEdgeTest, ALinkWhereAFolderWouldGoIsNotFollowed) {
  const std::string target = MakeTempFolder();
  const std::string elsewhere = MakeTempFolder();
  fs::create_directories(PathOf(target + "/M盘恢复的文件"));
  std::error_code linked;
  fs::create_directory_symlink(PathOf(elsewhere), PathOf(target + "/M盘恢复的文件/删除的文件"), linked);
  if (linked) GTEST_SKIP() << "no links here: " << linked.message();
  RecoveryReport report = CRecovery(*model).RecoverChecked(target);
  EXPECT_EQ(report.written, 4u);
  EXPECT_TRUE(fs::is_empty(PathOf(elsewhere)));
  EXPECT_TRUE(fs::is_regular_file(PathOf(target + "/M盘恢复的文件/删除的文件 (2)/same.txt")));
}

struct FitCase {
  const char* name;
  size_t limit;
  PathNameRules rules;
  const char* fitted;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name << " in " << c.limit; }

class FitName : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitName, KeepsTheExtensionAndWholeCharacters) {
  EXPECT_EQ(FitNameLength(GetParam().name, GetParam().limit, GetParam().rules), GetParam().fitted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitName,
    ::testing::Values(FitCase{"short.txt", 255, PathNameRules::Posix, "short.txt"},
                      FitCase{"abcdefgh.txt", 8, PathNameRules::Posix, "abcd.txt"},
                      // Three bytes each in UTF-8: a character is never cut in half.
                      FitCase{"文件文件.doc", 11, PathNameRules::Posix, "文件.doc"},
                      FitCase{"文件文件.doc", 9, PathNameRules::Posix, "文.doc"},
                      // One UTF-16 unit each under Windows' rules.
                      FitCase{"文件文件.doc", 6, PathNameRules::Windows, "文件.doc"},
                      // A tail longer than an extension is part of the name.
                      FitCase{"a.averylongtailthatisnoextension", 6, PathNameRules::Posix, "a.aver"},
                      FitCase{"noextension", 4, PathNameRules::Posix, "noex"}),
    NameFromIndex());

TEST(Recovery, ALongChineseNameIsShortenedAndStaysUnique) {
  std::string name;
  for (int i = 0; i < 90; ++i) name += "档";
  name += ".jpg";
  // The limit is in bytes on POSIX, in UTF-16 units on Windows.
  auto units = [](const std::string& n) { return kPathSeparator == '\\' ? Utf8ToUtf16(n).size() : n.size(); };
  const std::string first = CandidateName(name, 1);
  EXPECT_LE(units(first), kMaxFileNameLength);
  EXPECT_EQ(first.substr(first.size() - 4), ".jpg");
  const std::string second = CandidateName(name, 2);
  EXPECT_LE(units(second), kMaxFileNameLength);
  EXPECT_EQ(second.substr(second.size() - 8), " (2).jpg");
  EXPECT_NE(first, second);
}

TEST(Recovery, AFileWithANameTooLongForTheTargetIsWrittenUnderAShorterOne) {
  std::u16string longName;
  for (int i = 0; i < 100; ++i) longName += u"照";
  longName += u".txt";
  NtfsImageBuilder b;
  b.PutRecord(16, FileRecordBytes(0, {ResidentAttr(0x30, FileNameValue(5, longName.c_str(), 1, 1)),
                                      ResidentAttr(0x80, {'x'})}, 16));
  ScanSession session;
  session.selectedDrive = 'M';
  session.device = std::make_shared<CMemoryDevice>(std::make_shared<std::vector<uint8_t>>(b.Image()));
  session.recoveryMode = ModeDeletedFiles;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  CResultsModel model(session);
  model.ClickNodeCheckBox(model.Tree().GetDriveNode());
  RecoveryReport report = CRecovery(model).RecoverChecked(MakeTempFolder());
  ASSERT_EQ(report.written, 1u) << (report.failures.empty() ? "" : report.failures[0]);
  EXPECT_EQ(report.files[0].name.size(), 300u + 4u) << "the report keeps the name on the disk";
  EXPECT_TRUE(fs::is_regular_file(PathOf(report.files[0].path)));
  EXPECT_EQ(report.files[0].path.substr(report.files[0].path.size() - 4), ".txt");
}

}  // namespace
