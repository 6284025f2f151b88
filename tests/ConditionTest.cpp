#include <gtest/gtest.h>

#include <zlib.h>

#include <fstream>
#include <map>
#include <sstream>

#include "app/FileConditions.h"
#include "app/Recovery.h"
#include "fat32/Entry.h"
#include "fat32/Folder.h"
#include "filetypes/FormatCheck.h"
#include "platform/FileOutput.h"
#include "support/FixtureSession.h"
#include "support/ParamNames.h"
#include "support/Sha256.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
void PutBE32(Bytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}
void PutLE(Bytes& b, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A PNG of the given chunks, each under its CRC.
Bytes Png(const std::vector<std::pair<std::string, Bytes>>& chunks) {
  Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const auto& [type, data] : chunks) {
    PutBE32(png, static_cast<uint32_t>(data.size()));
    Bytes typed = Text(type);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutBE32(png, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
  }
  return png;
}
const Bytes kIhdr{0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0};
const Bytes kPng = Png({{"IHDR", kIhdr}, {"IDAT", Bytes(20, 7)}, {"IEND", {}}});

// A ZIP of one deflated member, written with zlib.
Bytes Zip(const Bytes& member) {
  Bytes packed(member.size() + 64);
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  z.next_in = const_cast<Bytef*>(member.data());
  z.avail_in = static_cast<uInt>(member.size());
  z.next_out = packed.data();
  z.avail_out = static_cast<uInt>(packed.size());
  deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  const uint32_t crc = static_cast<uint32_t>(crc32(0, member.data(), static_cast<uInt>(member.size())));
  const std::string name = "m.txt";
  Bytes zip;
  PutLE(zip, 0x04034B50, 4);  // local header
  PutLE(zip, 20, 2);          // version needed
  PutLE(zip, 0, 2);           // flags
  PutLE(zip, 8, 2);           // deflated
  PutLE(zip, 0, 4);           // time, date
  PutLE(zip, crc, 4);
  PutLE(zip, packed.size(), 4);
  PutLE(zip, member.size(), 4);
  PutLE(zip, name.size(), 2);
  PutLE(zip, 0, 2);  // extra length
  zip.insert(zip.end(), name.begin(), name.end());
  zip.insert(zip.end(), packed.begin(), packed.end());
  const size_t central = zip.size();
  PutLE(zip, 0x02014B50, 4);  // central header
  PutLE(zip, 20, 2);          // made by
  PutLE(zip, 20, 2);          // needed
  PutLE(zip, 0, 2);           // flags
  PutLE(zip, 8, 2);           // method
  PutLE(zip, 0, 4);           // time, date
  PutLE(zip, crc, 4);
  PutLE(zip, packed.size(), 4);
  PutLE(zip, member.size(), 4);
  PutLE(zip, name.size(), 2);
  PutLE(zip, 0, 2);  // extra
  PutLE(zip, 0, 2);  // comment
  PutLE(zip, 0, 2);  // disk
  PutLE(zip, 0, 2);  // internal attributes
  PutLE(zip, 0, 4);  // external attributes
  PutLE(zip, 0, 4);  // local header offset
  zip.insert(zip.end(), name.begin(), name.end());
  const size_t centralSize = zip.size() - central;
  PutLE(zip, 0x06054B50, 4);  // end of central directory
  PutLE(zip, 0, 4);           // disk numbers
  PutLE(zip, 1, 2);           // entries here
  PutLE(zip, 1, 2);           // entries
  PutLE(zip, centralSize, 4);
  PutLE(zip, central, 4);
  PutLE(zip, 0, 2);  // comment length
  return zip;
}
Bytes Member() {
  Bytes m;
  for (int i = 0; i < 3000; ++i) m.push_back(static_cast<uint8_t>("the quick brown fox "[i % 20] ^ (i / 97)));
  return m;
}
const Bytes kZip = Zip(Member());

Bytes Changed(Bytes b, size_t at, uint8_t value) {
  b[at] = value;
  return b;
}
Bytes Cut(Bytes b, size_t size) {
  b.resize(size);
  return b;
}

struct FormatCase {
  const char* what;
  Bytes content;
  FormatVerdict verdict;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.what; }
class FormatChecks : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatChecks, TellWholeFromDamaged) {
  const FormatCheck check = CheckFileFormat(ByteSpan(GetParam().content));
  EXPECT_EQ(static_cast<int>(check.verdict), static_cast<int>(GetParam().verdict)) << check.why;
  // A failure says what failed.
  if (check.verdict == FormatVerdict::Failed) {
    EXPECT_FALSE(check.why.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatChecks,
    ::testing::Values(
        FormatCase{"png_whole", kPng, FormatVerdict::Passed},
        FormatCase{"png_with_a_changed_pixel_byte", Changed(kPng, 8 + 25 + 8 + 3, 9), FormatVerdict::Failed},
        FormatCase{"png_cut_before_its_end_chunk", Cut(kPng, kPng.size() - 12), FormatVerdict::Failed},
        FormatCase{"png_whose_chunk_length_runs_past_the_end", Changed(kPng, 8 + 25, 0x7F), FormatVerdict::Failed},
        FormatCase{"zip_whole", kZip, FormatVerdict::Passed},
        FormatCase{"zip_with_a_damaged_member", Changed(kZip, 30 + 5 + 10, kZip[30 + 5 + 10] ^ 0x55),
                   FormatVerdict::Failed},
        FormatCase{"zip_without_its_end_record", Cut(kZip, kZip.size() - 22), FormatVerdict::Failed},
        // A PDF whose startxref leads nowhere: cut at its %%EOF, but its end is a guess, so not intact.
        FormatCase{"pdf_whose_end_is_a_guess",
                   Text("%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\nstartxref\n3\n%%EOF\n"),
                   FormatVerdict::NoCheck},
        FormatCase{"text", Text("nothing but words\n"), FormatVerdict::NoCheck},
        FormatCase{"empty", {}, FormatVerdict::NoCheck}),
    NameFromWhat());

TEST(FormatCheck, APdfCutAtAGuessedEndIsNotCalledIntact) {
  const Bytes guessed = Text("%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\nstartxref\n3\n%%EOF\n");
  EXPECT_NE(CheckFileFormat(ByteSpan(guessed)).why.find("its end is a guess"), std::string::npos);
  const std::string body = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  const Bytes vouched = Text(body + "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \ntrailer\n<< /Size 2 >>\nstartxref\n" +
                             std::to_string(body.size()) + "\n%%EOF\n");
  EXPECT_EQ(static_cast<int>(CheckFileFormat(ByteSpan(vouched)).verdict), static_cast<int>(FormatVerdict::Passed));
}

// A file of a layout and content given, for the allocation side of a condition.
class CLaidOutFile : public CDelFile {
 public:
  CLaidOutFile(ContentLayout layout, Bytes content) : m_layout(std::move(layout)), m_bytes(std::move(content)) {}
  const uint8_t* LoadContent(uint32_t* length) override {
    *length = static_cast<uint32_t>(m_bytes.size());
    return m_bytes.data();
  }
  bool OpenContent(ContentSource* source, std::string*) override {
    source->length = m_bytes.size();
    source->read = [this](uint64_t offset, uint8_t* buffer, uint32_t n) {
      std::copy_n(m_bytes.data() + offset, n, buffer);
      return true;
    };
    return true;
  }
  ContentLayout Layout() override { return m_layout; }

 private:
  ContentLayout m_layout;
  Bytes m_bytes;
};

struct AllocationCase {
  const char* what;
  ContentLayout layout;
  Bytes content;
  FileCondition condition;
};
void PrintTo(const AllocationCase& c, std::ostream* os) { *os << c.what; }
class Allocation : public ::testing::TestWithParam<AllocationCase> {};

// Clusters 100 to 109 are in use; the volume has 1000.
TEST_P(Allocation, DecidesBeforeTheContent) {
  CLaidOutFile file(GetParam().layout, GetParam().content);
  const ClusterUse used = [](uint64_t c) { return c >= 100 && c < 110; };
  const ConditionVerdict verdict = AssessFile(file, GetParam().content.size(), used, 1000);
  EXPECT_EQ(ConditionName(verdict.condition), std::string(ConditionName(GetParam().condition))) << verdict.why;
}

ContentLayout InClusters(std::vector<std::pair<uint64_t, uint64_t>> runs) {
  ContentLayout layout{ContentPlace::Clusters, {}, {}};
  for (auto [first, count] : runs) layout.runs.push_back({0, first * 512, count * 512, first, count});
  return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Allocation,
    ::testing::Values(
        AllocationCase{"free_clusters_and_a_whole_png", InClusters({{10, 2}}), kPng, FileCondition::Intact},
        AllocationCase{"free_clusters_and_a_damaged_png", InClusters({{10, 2}}), Changed(kPng, 40, 1),
                       FileCondition::Corrupt},
        AllocationCase{"every_cluster_in_use", InClusters({{100, 4}, {105, 2}}), kPng, FileCondition::Overwritten},
        AllocationCase{"some_clusters_in_use", InClusters({{98, 4}}), kPng, FileCondition::PartlyOverwritten},
        AllocationCase{"runs_naming_more_clusters_than_the_volume", InClusters({{0, 600}, {600, 600}}), kPng,
                       FileCondition::Corrupt},
        AllocationCase{"a_record_that_holds_another_file_now", ContentLayout{ContentPlace::Reused, {}, "reused"},
                       kPng, FileCondition::Overwritten},
        AllocationCase{"resident_text", ContentLayout{ContentPlace::Resident, {}, {}}, Text("words"),
                       FileCondition::Unknown},
        AllocationCase{"empty_in_free_space", ContentLayout{ContentPlace::FreeSpace, {}, {}}, {},
                       FileCondition::Unknown}),
    NameFromWhat());

// The conditions the fixture script made each file in: condition, tree path, name.
std::vector<std::array<std::string, 3>> ExpectedConditions(const std::string& image) {
  std::ifstream in(PathOf(std::string(MAROVI_SOURCE_FIXTURES) + "/" + image + ".conditions.tsv"));
  std::vector<std::array<std::string, 3>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::array<std::string, 3> row;
    std::istringstream fields(line);
    for (std::string& field : row) std::getline(fields, field, '\t');
    rows.push_back(row);
  }
  return rows;
}

// The condition the check gives a file it cannot fully check in this build.
std::string AsThisBuildSees(const std::string& condition, const std::string& name) {
  const bool jpeg = name.size() > 4 && (name.substr(name.size() - 4) == ".jpg");
  if (jpeg && !CanDecodeJpeg() && (condition == "intact" || condition == "corrupt")) return "unknown";
  return condition;
}

struct ConditionImage {
  const char* what;
  const char* image;
  int32_t mode;
};
void PrintTo(const ConditionImage& c, std::ostream* os) { *os << c.what; }
class FixtureConditions : public ::testing::TestWithParam<ConditionImage> {};

// Every file of the images is in the condition it was made in: deleted and
// left alone, damaged, its clusters marked used or taken by new files.
TEST_P(FixtureConditions, MatchHowTheFilesWereMade) {
  FixtureSession fx(GetParam().image, 'T', GetParam().mode);
  CResultsModel& m = *fx.model;
  m.Conditions().Start();
  m.Conditions().RunHere();
  ASSERT_TRUE(m.Conditions().Finished());
  std::map<std::pair<std::string, std::string>, std::string> found;
  for (const CTreeNode* node : m.Tree().AllNodes()) {
    for (const FileRow& row : m.RowsOfNode(node)) {
      found[{CFolderTree::PathOf(node), row.name}] = ConditionName(m.Conditions().OfRow(row));
    }
  }
  const auto expected = ExpectedConditions(GetParam().image);
  ASSERT_FALSE(expected.empty());
  for (const auto& [condition, path, name] : expected) {
    auto it = found.find({path, name});
    ASSERT_NE(it, found.end()) << path << "/" << name << " is not listed";
    EXPECT_EQ(it->second, AsThisBuildSees(condition, name)) << path << "/" << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, FixtureConditions,
    ::testing::Values(ConditionImage{"ntfs_bitmap_marked", "ntfs-conditions.img", ModeDeletedFiles},
                      ConditionImage{"fat32_clusters_taken_by_new_files", "fat32-conditions.img", ModeDeletedFiles},
                      ConditionImage{"carved_from_an_image_without_a_file_system", "carve-conditions.img",
                                     ModeDeletedFiles}),
    NameFromWhat());

// Only the files in the conditions asked for are written, and the report
// lists each with the digest of what was written.
TEST(ConditionRecovery, WritesOnlyTheConditionsAskedFor) {
  FixtureSession fx("fat32-conditions.img");
  CResultsModel& m = *fx.model;
  m.ClickNodeCheckBox(m.Tree().GetDriveNode());
  CRecovery recovery(m);
  recovery.SetConditionFilter({FileCondition::Intact});
  const RecoveryReport report = recovery.RecoverChecked(MakeTempFolder());
  size_t intact = 0;
  for (const auto& [condition, path, name] : ExpectedConditions("fat32-conditions.img")) {
    intact += AsThisBuildSees(condition, name) == "intact";
  }
  // The carved copies of the intact pictures and archive count as well.
  EXPECT_GE(report.written, intact);
  EXPECT_GT(report.skipped, 0u);
  for (const RecoveredFile& file : report.files) {
    EXPECT_EQ(file.condition, FileCondition::Intact) << file.name;
    EXPECT_TRUE(file.written) << file.name << ": " << file.reason;
  }
  EXPECT_FALSE(report.reportPath.empty()) << report.reportError;
  EXPECT_NE(RecoverySummaryText(report).find("因状态未恢复"), std::string::npos);
}

// A recovery started while the background still works takes each file's
// condition as it comes to it: none is left pending in the report.
TEST(ConditionRecovery, DoesNotWaitForTheBackgroundNorRaceIt) {
  FixtureSession fx("ntfs-conditions.img");
  CResultsModel& m = *fx.model;
  m.ClickNodeCheckBox(m.Tree().GetDriveNode());
  m.Conditions().Start();
  const RecoveryReport report = CRecovery(m).RecoverChecked(MakeTempFolder());
  m.Conditions().RunHere();
  EXPECT_TRUE(m.Conditions().Finished());
  std::map<std::string, FileCondition> known;
  for (size_t i = 0; i < fx.session.foundFiles.size(); ++i) known[fx.session.foundFiles[i].name] = m.Conditions().OfFound(i);
  ASSERT_EQ(report.files.size(), ExpectedConditions("ntfs-conditions.img").size());
  for (const RecoveredFile& file : report.files) {
    EXPECT_NE(file.condition, FileCondition::Pending) << file.name;
    EXPECT_EQ(file.condition, known[file.name]) << file.name;
  }
}

// A FAT file whose clusters other files took says why each time it is
// read: the condition reads it first, the recovery after.
TEST(ConditionRecovery, AFileWhoseClustersWereTakenSaysWhyEachTime) {
  FixtureSession fx("fat32-conditions.img");
  CResultsModel& m = *fx.model;
  size_t taken = 0;
  for (const CTreeNode* node : m.Tree().AllNodes()) {
    if (node->folder == nullptr) continue;
    for (const auto& entry : node->folder->Files()) {
      if (entry->GetName() != "Taken.bin") continue;
      std::vector<uint8_t> content;
      for (int time = 0; time < 2; ++time) {
        std::string error;
        EXPECT_FALSE(entry->ReadHead(4096, &content, &error));
        EXPECT_NE(error.find("now belongs to another file"), std::string::npos) << "read " << time + 1 << ": " << error;
      }
      // A recovery of it fails as overwritten, not as a drive that cannot be read.
      std::string error;
      WriteFault fault = WriteFault::None;
      EXPECT_FALSE(entry->RecoverTo(MakeTempFolder() + "/taken.bin", &error, &fault));
      EXPECT_EQ(fault, WriteFault::Overwritten);
      EXPECT_STREQ(WriteFaultText(fault), "文件的数据已被其他文件覆盖");
      ++taken;
    }
  }
  EXPECT_EQ(taken, 1u);
}

TEST(ConditionNames, ListsParseAndRefuseUnknownWords) {
  std::vector<FileCondition> conditions;
  std::string bad;
  ASSERT_TRUE(ParseConditionList("intact,partly-overwritten", &conditions, &bad));
  EXPECT_EQ(conditions, (std::vector<FileCondition>{FileCondition::Intact, FileCondition::PartlyOverwritten}));
  EXPECT_FALSE(ParseConditionList("intact,good", &conditions, &bad));
  EXPECT_EQ(bad, "good");
  EXPECT_FALSE(ParseConditionList("pending", &conditions, &bad));
  EXPECT_STREQ(ConditionCaption(FileCondition::Overwritten), "已覆盖");
}

}  // namespace
