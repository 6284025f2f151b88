#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/FileRows.h"
#include "filetypes/BaseFile.h"
#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/Text.h"
#include "support/FixtureCases.h"
#include "support/FixtureSession.h"
#include "support/ParamNames.h"
#include "support/Sha256.h"

namespace {

struct Listed {
  std::string path;
  FileRow row;
};

std::vector<Listed> ListedFiles(CResultsModel& model) {
  std::vector<Listed> out;
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    for (FileRow& row : model.RowsOfNode(node)) out.push_back({CFolderTree::PathOf(node), std::move(row)});
  }
  return out;
}

std::string ContentSha(const FileRow& row) {
  uint32_t length = 0;
  const uint8_t* data = row.file->LoadContent(&length);
  return data ? Sha256Hex(data, length) : "unreadable";
}

class FixtureScan : public ::testing::TestWithParam<FixtureCase> {};

// Every file of the manifest is listed once, under its folder path, with its
// size (carved files by their content), and nothing else is listed.
TEST_P(FixtureScan, ListsExactlyTheManifest) {
  const FixtureCase& c = GetParam();
  FixtureSession fx(c, 'T');
  ASSERT_TRUE(fx.registered);
  EXPECT_EQ(fx.session.resultSource, c.source);
  EXPECT_TRUE(fx.session.sourceError.empty()) << fx.session.sourceError;
  EXPECT_EQ(fx.progress.okCalls, 1);
  std::vector<Listed> listed = ListedFiles(*fx.model);
  size_t expected = 0;
  for (const ManifestEntry& e : LoadManifest(c.Manifest())) {
    if (!ExpectedWhole(e.state, e.path, c)) continue;
    ++expected;
    const bool carved = e.state == "carved" || e.state == "pieces";
    auto it = std::find_if(listed.begin(), listed.end(), [&](const Listed& l) {
      if (!PathMatches(e.path, l.path) || !PathMatches(e.name, l.row.name)) return false;
      return !carved || (l.row.kind == FoundKind::Carved && ContentSha(l.row) == e.sha256);
    });
    ASSERT_NE(it, listed.end()) << e.state << " " << e.path << "/" << e.name;
    EXPECT_EQ(it->row.size, e.size) << e.name;
    listed.erase(it);
  }
  size_t inPart = 0;
  for (const ManifestEntry& e : LoadManifest(c.Manifest())) inPart += ListedInPart(e.state, e.path, c) ? 1 : 0;
  for (const Listed& l : listed) {
    if (inPart > 0 && l.row.kind == FoundKind::Carved && PathMatches("按类型分类的文件/JPG", l.path)) {
      --inPart;
      continue;
    }
    ADD_FAILURE() << "not in the manifest: " << l.path << "/" << l.row.name;
  }
  EXPECT_GT(expected, 0u);
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureScan, ::testing::ValuesIn(kFixtureCases), NameFromWhat());
INSTANTIATE_TEST_SUITE_P(Partitions, FixtureScan, ::testing::ValuesIn(kPartitionCases), NameFromWhat());
#ifndef _WIN32
INSTANTIATE_TEST_SUITE_P(Containers, FixtureScan, ::testing::ValuesIn(kContainerCases), NameFromWhat());
#endif
INSTANTIATE_TEST_SUITE_P(LargeImages, FixtureScan, ::testing::ValuesIn(kLargeFixtureCases), NameFromWhat());

// The used card with its boot sector gone reads as a volume of no known file
// system: every sector is searched, and pieces are looked for at 4 KiB and
// then at every sector, since its clusters need not lie at multiples of 4 KiB
// from the image's start. Every file comes back whole all the same.
TEST(FixtureScan, PiecesAreFoundOnAVolumeOfNoKnownFileSystem) {
  std::vector<uint8_t> image = ReadWholeFile(FixturePath("used-card.img"));
  ASSERT_GT(image.size(), 512u);
  std::fill(image.begin(), image.begin() + 512, uint8_t{0});
  const std::string path = MakeTempFolder() + "/raw-card.img";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  FixtureSession fx(path, 'R', ModeUniversal);
  ASSERT_TRUE(fx.registered);
  EXPECT_EQ(fx.session.resultSource, SourceOther);
  std::vector<std::string> carved;
  for (const Listed& l : ListedFiles(*fx.model)) {
    if (l.row.kind == FoundKind::Carved) carved.push_back(ContentSha(l.row));
  }
  size_t expected = 0;
  const FixtureCase raw{"raw", "used-card.img", ModeUniversal, SourceOther};
  for (const ManifestEntry& e : LoadManifest("used-card.img")) {
    if (!ExpectedWhole(e.state, e.path, raw)) continue;
    ++expected;
    EXPECT_NE(std::find(carved.begin(), carved.end(), e.sha256), carved.end()) << e.state << " " << e.path << " " << e.size;
  }
  EXPECT_GE(expected, 20u);
}

// Going back from results that found nothing: the session forgets the scan
// and the next scan of it finds what a fresh session would.
TEST(FixtureScan, AClearedSessionScansAgainAsAFreshOne) {
  FixtureSession fs("fat32-sample.img", 'T', ModeUniversal, false);
  const auto listing = [](const ScanSession& s) {
    std::vector<std::string> names;
    for (const FoundFile& f : s.foundFiles) names.push_back(f.name + "/" + std::to_string(f.size));
    return names;
  };
  const std::vector<std::string> first = listing(fs.session);
  ASSERT_FALSE(first.empty());
  const char drive = fs.session.selectedDrive;
  fs.session.Clear();
  EXPECT_TRUE(fs.session.foundFiles.empty());
  EXPECT_TRUE(fs.session.carvedFiles.empty());
  EXPECT_TRUE(fs.session.fileSystem.empty());
  EXPECT_EQ(fs.session.device, nullptr);
  EXPECT_EQ(fs.session.volumeAccess, nullptr);
  fs.session.selectedDrive = drive;
  std::string error;
  ASSERT_TRUE(OpenSelectedDrive(fs.session, &error)) << error;
  fs.session.recoveryMode = ModeUniversal;
  FakeProgress progress;
  ScanThreadProc(progress, fs.session);
  EXPECT_EQ(listing(fs.session), first);
}

// On FAT in deleted mode each picture is listed by name and carved from its
// clusters too: the drive counts it once.
TEST(FixtureScan, TheDriveCountsAFileListedByNameAndCarvedOnce) {
  FixtureSession fs("fat32-sample.img");
  size_t named = 0, carved = 0;
  for (const ManifestEntry& e : LoadManifest("fat32-sample.img")) (e.state == "carved" ? carved : named) += 1;
  ASSERT_GT(carved, 0u);
  const auto counts = fs.model->SubtreeFileCounts();
  EXPECT_EQ(counts.at(fs.model->Tree().GetDriveNode()), named);
  EXPECT_EQ(counts.at(fs.model->Tree().GetByTypeNode()), carved) << "the type folders still list every carved file";
}

TEST(FixtureScan, NtfsTimesAreTheFilesModificationTimes) {
  FixtureSession fx("ntfs-sample.img");
  ASSERT_FALSE(fx.session.foundFiles.empty());
  for (const FoundFile& f : fx.session.foundFiles) {
    EXPECT_EQ(f.utcTime, 133549722000000000ULL) << f.name;  // 2024-03-15 10:30 UTC
    EXPECT_EQ(TimeColumnText(f.time), "2024-03-15  10:30") << f.name << " (tests run in UTC)";
  }
}

TEST(FixtureScan, CarvedFilesAreNamedAfterTheirFirstSector) {
  FixtureSession fx("raw-carve.img");
  std::vector<std::string> names;
  for (const FileRow& row : fx.model->RowsOfNode(fx.model->Tree().FindByPath("按类型分类的文件/BMP"))) {
    names.push_back(row.name);
    EXPECT_EQ(row.typeCode, kTypeBmp);
    EXPECT_EQ(row.timeText, "");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"pic100.bmp", "pic777.bmp", "pic39990.bmp"}));
}

// The live fragmented file's stream runs through nine extents held in
// extension records; every byte must come back in order.
TEST(FixtureScan, StreamInManyExtentsReadsWhole) {
  std::string error;
  ASSERT_TRUE(RegisterImage(FixturePath("ntfs-fragmented.img") + "=F", &error)) << error;
  CNTFSVolume volume(OpenDrive('F', &error));
  ASSERT_TRUE(volume.IsVolumeOK());
  const uint64_t records = volume.GetMFTDataAttr()->GetDataSize() / volume.GetFileRecordSize();
  CFileRecord record(&volume);
  record.SetAttrMask(kMaskScan);
  std::u16string name;
  uint64_t found = 0;
  for (uint64_t n = 16; n < records && !found; ++n) {
    if (record.ReadRecord(n) && record.ParseAttrs() && record.GetFileName(&name) && name == u"frag.bin") found = n;
  }
  ASSERT_NE(found, 0u);
  CAttrBase* data = record.FindUnnamedData();
  ASSERT_NE(data, nullptr);
  std::vector<uint8_t> bytes(data->GetDataSize());
  uint32_t got = 0;
  ASSERT_TRUE(data->ReadData(0, bytes.data(), static_cast<uint32_t>(bytes.size()), &got));
  EXPECT_EQ(got, bytes.size());
  const auto manifest = LoadManifest("ntfs-fragmented.img");
  auto live = std::find_if(manifest.begin(), manifest.end(), [](const ManifestEntry& e) { return e.name == "frag.bin"; });
  ASSERT_NE(live, manifest.end());
  EXPECT_EQ(Sha256Hex(bytes.data(), bytes.size()), live->sha256);
  ForgetDrive('F');
}

}  // namespace
