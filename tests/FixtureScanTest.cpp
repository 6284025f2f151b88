#include <gtest/gtest.h>

#include <algorithm>

#include "app/FileRows.h"
#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/Text.h"
#include "support/FixtureSession.h"
#include "support/Sha256.h"

namespace {

struct Listed {
  std::string path, name;
  uint64_t size;
};

std::vector<Listed> ListedFiles(CResultsModel& model) {
  std::vector<Listed> out;
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    for (size_t i : model.FilesOfNode(node)) {
      const FoundFile& f = model.Session().foundFiles[i];
      out.push_back({CFolderTree::PathOf(node), f.name, f.size});
    }
  }
  return out;
}

class FixtureScan : public ::testing::TestWithParam<const char*> {};

// Every deleted file of the manifest is listed once, under its folder path,
// with its size, and nothing else is listed.
TEST_P(FixtureScan, ListsExactlyTheDeletedFiles) {
  FixtureSession fx(GetParam());
  ASSERT_TRUE(fx.registered);
  EXPECT_EQ(fx.session.resultSource, SourceNtfs);
  EXPECT_EQ(fx.progress.okCalls, 1);
  std::vector<Listed> listed = ListedFiles(*fx.model);
  size_t expected = 0;
  for (const ManifestEntry& e : LoadManifest(GetParam())) {
    if (e.state != "deleted") continue;
    ++expected;
    auto it = std::find_if(listed.begin(), listed.end(), [&](const Listed& l) {
      return l.name == e.name && PathMatches(e.path, l.path);
    });
    ASSERT_NE(it, listed.end()) << e.path << "/" << e.name;
    EXPECT_EQ(it->size, e.size) << e.name;
  }
  EXPECT_EQ(listed.size(), expected);
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureScan, ::testing::Values("ntfs-sample.img", "ntfs-fragmented.img"));

TEST(FixtureScan, TimesAreTheFilesModificationTimes) {
  FixtureSession fx("ntfs-sample.img");
  ASSERT_FALSE(fx.session.foundFiles.empty());
  for (const FoundFile& f : fx.session.foundFiles) {
    EXPECT_EQ(f.utcTime, 133549722000000000ULL) << f.name;  // 2024-03-15 10:30 UTC
    EXPECT_EQ(TimeColumnText(f.time), "2024-03-15  10:30") << f.name << " (tests run in UTC)";
  }
}

// The live fragmented file's stream runs through nine extents held in
// extension records; every byte must come back in order.
TEST(FixtureScan, StreamInManyExtentsReadsWhole) {
  std::string error;
  ASSERT_TRUE(RegisterImage(FixturePath("ntfs-fragmented.img") + "=F", &error)) << error;
  CNTFSVolume volume('F');
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
