#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

#include "support/Fixtures.h"
#include "support/NtfsImageBuilder.h"
#include "support/Sha256.h"

namespace {

struct CliRun {
  int status;
  std::string out;
};

// Runs the CLI with its standard error sent where redirection says (with standard output by default).
CliRun Cli(const std::string& arguments, const std::string& redirection = " 2>&1") {
  const std::string command = std::string(MAROVI_CLI) + " " + arguments + redirection;
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// What the CLI writes on standard error alone.
std::string CliStderr(const std::string& arguments) {
  return Cli(arguments, " 2>&1 >/dev/null").out;
}

const std::string kSample = FixturePath("ntfs-sample.img");

TEST(Cli, ScanPrintsJsonOfEveryDeletedFile) {
  CliRun r = Cli("scan --image " + kSample + "=E --json --quiet");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\"drive\": \"E\", \"device\": \"" + kSample + "\", \"fileSystem\": \"NTFS\", \"mode\": \"deleted\", \"resultSource\": \"ntfs\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{\"path\": \"删除的文件/old/inner\", \"name\": \"b.bin\", \"size\": 70000, \"time\": \"2024-03-15  10:30\", \"kind\": \"ntfs\", \"record\": "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"path\": \"找到的文件/dir1\", \"name\": \"orphan.bin\""), std::string::npos);
}

TEST(Cli, ScanListsCarvedAndFat32Files) {
  CliRun raw = Cli("scan --image " + FixturePath("raw-carve.img") + " --json --quiet");
  EXPECT_EQ(raw.status, 0) << raw.out;
  EXPECT_NE(raw.out.find("\"resultSource\": \"other\""), std::string::npos);
  EXPECT_NE(raw.out.find("{\"path\": \"按类型分类的文件/xlsx\", \"name\": \"ID_XLSX5100.xlsx\", \"size\": 9310, \"time\": \"\", "
                         "\"kind\": \"carved\", \"firstSector\": 5100, \"byteOffset\": 2611200, \"type\": 4, \"condition\": \"intact\"}"),
            std::string::npos) << raw.out;
  CliRun fat = Cli("scan --image " + FixturePath("fat32-sample.img") + " --json --quiet");
  EXPECT_EQ(fat.status, 0) << fat.out;
  EXPECT_NE(fat.out.find("\"path\": \"删除的文件/Old Stuff/Inner\", \"name\": \"Beta.bin\", \"size\": 70000, "
                         "\"time\": \"2024-03-15  10:30\", \"kind\": \"fat32\", \"firstCluster\": "),
            std::string::npos) << fat.out;
}

// A carved file's firstSector and byteOffset name where it lies on the
// volume, on every file system: dd reads its first bytes there.
TEST(Cli, CarvedFilesAreWhereTheirNumbersSay) {
  for (const auto& [fixture, sectorSize] : {std::pair{"fat32-sample.img", 512ull}, std::pair{"fat32-2k.img", 2048ull},
                                            std::pair{"exfat.img", 512ull}, std::pair{"ntfs-sample.img", 512ull},
                                            std::pair{"raw-carve.img", 512ull}}) {
    const std::string image = FixturePath(fixture);
    CliRun r = Cli("scan --image " + image + " --mode universal --json --quiet");
    ASSERT_EQ(r.status, 0) << fixture;
    std::ifstream in(image, std::ios::binary);
    size_t checked = 0;
    for (size_t at = r.out.find("\"firstSector\": "); at != std::string::npos;
         at = r.out.find("\"firstSector\": ", at + 1)) {
      unsigned long long sector = 0, offset = 0;
      int type = 0;
      ASSERT_EQ(std::sscanf(r.out.c_str() + at, "\"firstSector\": %llu, \"byteOffset\": %llu, \"type\": %d", &sector,
                            &offset, &type),
                3)
          << fixture;
      EXPECT_EQ(offset, sector * sectorSize) << fixture;
      char head[2] = {};
      in.seekg(static_cast<std::streamoff>(offset));
      in.read(head, 2);
      const std::string start(head, 2);
      const char* expected = type == 1 ? "\xFF\xD8" : type >= 2 && type <= 5 ? "PK" : type == 6 ? "BM" : nullptr;
      if (expected != nullptr) {
        EXPECT_EQ(start, expected) << fixture << " at " << offset;
      }
      ++checked;
    }
    EXPECT_GT(checked, 0u) << fixture;
  }
}

// Files put together from pieces list them, one for each piece the card's
// layout gives.
TEST(Cli, FilesInPiecesListTheirPieces) {
  CliRun r = Cli("scan --image " + FixturePath("used-card.img") + " --mode universal --json --quiet");
  ASSERT_EQ(r.status, 0);
  std::ifstream layout(std::string(MAROVI_SOURCE_FIXTURES) + "/used-card.img.layout.tsv");
  std::string line;
  std::getline(layout, line);  // column names
  size_t inPieces = 0, pieces = 0;
  while (std::getline(layout, line)) {
    const size_t runs = static_cast<size_t>(std::count(line.begin(), line.end(), ':'));
    if (runs > 1) ++inPieces, pieces += runs;
  }
  size_t listed = 0, listedPieces = 0;
  for (size_t at = r.out.find("\"pieces\": ["); at != std::string::npos; at = r.out.find("\"pieces\": [", at + 1)) {
    ++listed;
    const size_t end = r.out.find(']', at);
    for (size_t p = r.out.find("\"length\"", at); p < end; p = r.out.find("\"length\"", p + 1)) ++listedPieces;
  }
  EXPECT_EQ(listed, inPieces);
  EXPECT_EQ(listedPieces, pieces);
}

TEST(Cli, RecoverReportsWhatWasWritten) {
  const std::string target = MakeTempFolder();
  CliRun r = Cli("recover --image " + kSample + " --to " + target + " --node 删除的文件/docs --quiet");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("恢复完成"), std::string::npos);
  EXPECT_NE(r.out.find("3 files written"), std::string::npos) << r.out;
}

// Diagnostic lines and rejected structures go to standard error only when
// asked for; the notes of how the volume was read are part of the results.
TEST(Cli, DiagnosticsOnlyWithVerbose) {
  NtfsImageBuilder b;
  b.PutRecord(17, FileRecordBytes(0, {ResidentAttr(0x30, FileNameValue(5, u"x.txt"))}, 17));
  b.Image()[NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize + 18 * 1024] = 'B';  // record 18
  const std::string image = MakeTempFolder() + "/damaged.img";
  std::FILE* file = std::fopen(image.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(b.Image().data(), 1, b.Image().size(), file);
  std::fclose(file);

  EXPECT_EQ(CliStderr("scan --image " + image), "");
  EXPECT_EQ(CliStderr("scan --image " + image + " --verbose --quiet"), "");
  const std::string verbose = CliStderr("scan --image " + image + " --verbose");
  EXPECT_NE(verbose.find("rejected: FILE record 18, byte 0x0 (signature): found 0x42"), std::string::npos) << verbose;

  const std::string raw = FixturePath("raw-carve.img");
  EXPECT_EQ(CliStderr("scan --image " + raw + " --mode universal"), "");
  EXPECT_NE(CliStderr("scan --image " + raw + " --verbose").find("The run time is:"), std::string::npos);
  CliRun json = Cli("scan --image " + raw + " --json", " 2>/dev/null");
  EXPECT_NE(json.out.find("\"notes\": [\"No known file system: every sector is searched for files\"]"),
            std::string::npos) << json.out;
  CliRun tree = Cli("scan --image " + raw, " 2>/dev/null");
  EXPECT_NE(tree.out.find("(unknown file system)\nnote: No known file system"), std::string::npos) << tree.out;
}

// Each partition of a whole disk is a drive: listed with its number and
// offset, and scanned and recovered from by its number.
TEST(Cli, PartitionsOfADiskImageAreDrivesOfTheirOwn) {
  const std::string disk = FixturePath("disk-fs.img");
  CliRun drives = Cli("drives --json --image " + disk + "=P");
  EXPECT_EQ(drives.status, 0) << drives.out;
  for (const char* row : {"{\"letter\": \"P\", \"device\": \"DISK\", \"type\": \"fixed\", \"fileSystem\": \"NTFS\", "
                          "\"size\": 25165824, \"partition\": 1, \"offset\": 1048576, \"image\": true}",
                          "\"fileSystem\": \"FAT32\", \"size\": 41943040, \"partition\": 5, \"offset\": 28311552,",
                          "\"fileSystem\": \"NTFS\", \"size\": 16777216, \"partition\": 6, \"offset\": 71303168,",
                          "\"fileSystem\": \"\", \"size\": 16777216, \"partition\": 0, \"offset\": 0,"}) {
    std::string wanted = row;
    const size_t at = wanted.find("DISK");
    if (at != std::string::npos) wanted.replace(at, 4, disk);
    EXPECT_NE(drives.out.find(wanted), std::string::npos) << wanted << "\n" << drives.out;
  }
  CliRun scan = Cli("scan --image " + disk + " --partition 5 --json --quiet");
  EXPECT_EQ(scan.status, 0) << scan.out;
  EXPECT_NE(scan.out.find("\"partition\": 5, \"offset\": 28311552, \"fileSystem\": \"FAT32\""), std::string::npos) << scan.out;
  EXPECT_NE(scan.out.find("\"name\": \"Report Long Name.txt\", \"size\": 3000"), std::string::npos) << scan.out;
  const std::string target = MakeTempFolder();
  CliRun recover = Cli("recover --image " + disk + " --partition 6 --all --quiet --to " + target);
  EXPECT_EQ(recover.status, 0) << recover.out;
  EXPECT_NE(recover.out.find("2 files written"), std::string::npos) << recover.out;
}

// What the table says of a partition comes with its results.
TEST(Cli, APartitionCutShortSaysSoWithItsResults) {
  CliRun scan = Cli("scan --image " + FixturePath("disk-cut.img") + " --partition 6 --quiet");
  EXPECT_EQ(scan.status, 0) << scan.out;
  EXPECT_NE(scan.out.find("note: the partition runs past the end of the disk: 12582912 of its 20480000 bytes are there"),
            std::string::npos) << scan.out;
}

// With one partition holding a file system, --image alone scans it.
TEST(Cli, TheOnlyFileSystemOfADiskIsScannedWithoutAsking) {
  const std::vector<uint8_t> volume = ReadWholeFile(kSample);
  std::vector<uint8_t> disk((1u << 20) + volume.size(), 0);
  std::copy(volume.begin(), volume.end(), disk.begin() + (1u << 20));
  uint8_t* entry = &disk[446];
  entry[4] = 0x07;                                            // type: NTFS
  const uint32_t first = 2048, sectors = static_cast<uint32_t>(volume.size() / 512);
  for (int i = 0; i < 4; ++i) entry[8 + i] = static_cast<uint8_t>(first >> (8 * i));     // first sector
  for (int i = 0; i < 4; ++i) entry[12 + i] = static_cast<uint8_t>(sectors >> (8 * i));  // sectors
  disk[510] = 0x55;
  disk[511] = 0xAA;
  const std::string path = MakeTempFolder() + "/one-partition.img";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(disk.data()), static_cast<std::streamsize>(disk.size()));
  CliRun scan = Cli("scan --image " + path + "=Q --quiet");
  EXPECT_EQ(scan.status, 0) << scan.out;
  EXPECT_NE(scan.out.find("Q: " + path + " #1 (NTFS)"), std::string::npos) << scan.out;
  EXPECT_NE(scan.out.find("- b.bin  68.3KB"), std::string::npos) << scan.out;
}

struct BadCase {
  const char* arguments;
  const char* message;
};

// Shows the case by its description in test output.
void PrintTo(const BadCase& c, std::ostream* os) { *os << c.arguments; }

class CliErrors : public ::testing::TestWithParam<BadCase> {};

TEST_P(CliErrors, ExitWithStatusTwoAndSayWhy) {
  CliRun r = Cli(GetParam().arguments);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.out.find(GetParam().message), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliErrors,
    ::testing::Values(BadCase{"scan --image /no/such.img", "cannot open /no/such.img: No such file or directory"},
                      BadCase{"frobnicate", "unknown command"},
                      BadCase{"scan", "give one source"},
                      BadCase{"scan --drive 7", "drive letter"},
                      BadCase{"recover --image /dev/null --to /tmp", "one of --all"},
                      BadCase{"scan --drive Y --quiet", "drive Y: does not exist"},
                      BadCase{"scan --drive Y --partition 1", "--partition chooses a partition of the image"},
                      BadCase{"scan --image x --partition one", "--partition takes a partition number, not 'one'"},
                      BadCase{"scan --image " MAROVI_FIXTURE_DIR "/disk-fs.img --quiet",
                              "has 3 partitions holding a file system; choose one with --partition N:\n"
                              "  part fs       size\n  1    NTFS     24.0M\n  5    FAT32    40.0M\n  6    NTFS     16.0M\n"
                              "  0    -        16.0M  outside every partition"},
                      BadCase{"scan --image " MAROVI_FIXTURE_DIR "/disk-fs.img --partition 3 --quiet",
                              "has no partition 3; its partitions are:"},
                      BadCase{"scan --image " MAROVI_FIXTURE_DIR "/ntfs-sample.img --partition 1 --quiet",
                              "has no partition table; leave out --partition"},
                      BadCase{"scan --image " MAROVI_FIXTURE_DIR "/ntfs-sample.img --codepage UTF-16 --quiet",
                              "UTF-16 is not a single- or double-byte ANSI code page"},
                      BadCase{"scan --image " MAROVI_FIXTURE_DIR "/ntfs-sample.img --codepage UTF-32LE --quiet",
                              "UTF-32LE is not a single- or double-byte ANSI code page"},
                      BadCase{"recover --image " MAROVI_FIXTURE_DIR "/ntfs-sample.img --node nowhere --to "
                              "/tmp/marovi-never-made --quiet",
                              "no node 'nowhere'"}), NameFromIndex());

TEST(Cli, HelpAndVersionGoToStandardOutput) {
  for (const char* asked : {"--help", "-h", "help", "scan --help"}) {
    CliRun r = Cli(asked, " 2>/dev/null");
    EXPECT_EQ(r.status, 0) << asked;
    EXPECT_EQ(r.out.rfind("usage:\n", 0), 0u) << asked << ": " << r.out;
  }
  CliRun version = Cli("--version", " 2>/dev/null");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "marovi-cli 1.6\n");
}

TEST(Cli, QuietRunsWriteNothingOnStandardError) {
  const std::string target = MakeTempFolder();
  EXPECT_EQ(CliStderr("scan --image " + kSample + " --mode universal --quiet"), "");
  EXPECT_EQ(CliStderr("recover --image " + kSample + " --all --to " + target + " --quiet"), "");
}

TEST(Cli, AnOutputThatCannotBeWrittenIsAFailure) {
  CliRun full = Cli("scan --image " + kSample + " --quiet", " 2>&1 >/dev/full");
  EXPECT_EQ(full.status, 3);
  EXPECT_NE(full.out.find("cannot write standard output"), std::string::npos) << full.out;
  // A reader that went away: the pipe is closed before the CLI writes to it.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string cli = MAROVI_CLI;
  std::vector<std::string> words = {cli, "scan", "--image", kSample, "--quiet"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, cli.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 3);
}

TEST(Cli, AnExistingDfxmlFileIsNeverReplaced) {
  const std::string xml = MakeTempFolder() + "/found.xml";
  std::ofstream(xml) << "keep me";
  CliRun r = Cli("scan --image " + kSample + " --dfxml " + xml + " --quiet");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("File exists"), std::string::npos) << r.out;
  std::ifstream in(xml);
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "keep me");
}

TEST(Cli, AnImageTooSmallForASectorIsRefused) {
  const std::string tiny = MakeTempFolder() + "/tiny.img";
  std::ofstream(tiny) << std::string(100, 'x');
  CliRun r = Cli("scan --image " + tiny + " --quiet");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find(tiny + " holds only 100 bytes, less than one sector"), std::string::npos) << r.out;
  const std::string empty = MakeTempFolder() + "/empty.img";
  std::ofstream{empty};
  r = Cli("scan --image " + empty + " --quiet");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find(empty + " is empty (0 bytes)"), std::string::npos) << r.out;
}

TEST(Cli, RecoverChoosesBeforeMakingAnythingAndFindSearchesEverything) {
  EXPECT_FALSE(std::filesystem::exists("/tmp/marovi-never-made")) << "a bad --node made the target";
  const std::string target = MakeTempFolder() + "/out";
  CliRun none = Cli("recover --image " + kSample + " --find no-such-name --to " + target + " --quiet");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("没有找到文件"), std::string::npos) << none.out;
  EXPECT_FALSE(std::filesystem::exists(target));
  // Carved files are searched too.
  CliRun carved = Cli("recover --image " + FixturePath("raw-carve.img") + " --find xlsx --to " + target + " --quiet");
  EXPECT_EQ(carved.status, 0) << carved.out;
  EXPECT_NE(carved.out.find("files written to " + target), std::string::npos) << carved.out;
  // A second run into the same folder keeps the first run's files beside its own.
  CliRun again = Cli("recover --image " + FixturePath("raw-carve.img") + " --find xlsx --to " + target + " --quiet");
  EXPECT_EQ(again.status, 0) << again.out;
  size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(target)) files += e.is_regular_file();
  size_t written = 0;
  sscanf(carved.out.substr(carved.out.find("恢复完成\n") + std::string("恢复完成\n").size()).c_str(), "%zu", &written);
  EXPECT_GT(written, 0u);
  EXPECT_EQ(files, 2 * (written + 1)) << "both runs' files and both reports";
}

}  // namespace
