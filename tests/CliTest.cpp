#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/Fixtures.h"

namespace {

struct CliRun {
  int status;
  std::string out;
};

CliRun Cli(const std::string& arguments) {
  const std::string command = std::string(MAROVI_CLI) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
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
                         "\"kind\": \"carved\", \"firstSector\": 5100, \"type\": 4}"),
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
                      BadCase{"scan --drive Y --quiet", "drive Y: does not exist"}), NameFromIndex());

}  // namespace
