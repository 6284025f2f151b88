#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

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
                         "\"kind\": \"carved\", \"firstSector\": 5100, \"type\": 4, \"condition\": \"intact\"}"),
            std::string::npos) << raw.out;
  CliRun fat = Cli("scan --image " + FixturePath("fat32-sample.img") + " --json --quiet");
  EXPECT_EQ(fat.status, 0) << fat.out;
  EXPECT_NE(fat.out.find("\"path\": \"删除的文件/Old Stuff/Inner\", \"name\": \"Beta.bin\", \"size\": 70000, "
                         "\"time\": \"2024-03-15  10:30\", \"kind\": \"fat32\", \"firstCluster\": "),
            std::string::npos) << fat.out;
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
  EXPECT_NE(scan.out.find("- b.bin  68KB"), std::string::npos) << scan.out;
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
                              "  part fs       size\n  1    NTFS     24M\n  5    FAT32    40M\n  6    NTFS     16M\n"
                              "  0    -        16M  outside every partition"},
                      BadCase{"scan --image " MAROVI_FIXTURE_DIR "/disk-fs.img --partition 3 --quiet",
                              "has no partition 3; its partitions are:"},
                      BadCase{"scan --image " MAROVI_FIXTURE_DIR "/ntfs-sample.img --partition 1 --quiet",
                              "has no partition table; leave out --partition"}), NameFromIndex());

}  // namespace
