#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "app/Recovery.h"
#include "support/FixtureCases.h"
#include "support/FixtureSession.h"
#include "support/ParamNames.h"
#include "support/Sha256.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// A handle that lets others only read opens only while nobody holds the file
// for writing; the system enforces that for every handle, ours included.
bool HeldForWriting(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}
bool HeldOpen(const std::string&) { return true; }
#else
// The access modes of every descriptor this process holds on a path.
std::vector<int> AccessModes(const std::string& path) {
  std::vector<int> modes;
  const std::string wanted = fs::canonical(path).string();
  for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(fd.path(), ec);
    if (ec || target.string() != wanted) continue;
    std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
    std::string key;
    int flags = 0;
    while (info >> key) {
      if (key == "flags:") {
        info >> std::oct >> flags;
        modes.push_back(flags & O_ACCMODE);
      }
    }
  }
  return modes;
}
bool HeldForWriting(const std::string& path) {
  for (int mode : AccessModes(path)) {
    if (mode != O_RDONLY) return true;
  }
  return false;
}
bool HeldOpen(const std::string& path) { return !AccessModes(path).empty(); }
#endif

class ReadOnly : public ::testing::TestWithParam<FixtureCase> {};

// A scan and a full recovery leave every byte of the source as it was, and
// the source is only ever open for reading.
TEST_P(ReadOnly, SourceIsNeverWritten) {
  const FixtureCase& c = GetParam();
  const std::string image = FixturePath(c.image);
  const std::vector<uint8_t> before = ReadWholeFile(image);
  ASSERT_FALSE(before.empty());
  {
    FixtureSession fx(c, 'R');
    ASSERT_TRUE(fx.registered);
    EXPECT_TRUE(HeldOpen(image)) << "the session keeps the source open for later reads";
    EXPECT_FALSE(HeldForWriting(image));
    fx.model->ClickNodeCheckBox(fx.model->Tree().GetDriveNode());
    const RecoveryReport report = CRecovery(*fx.model).RecoverChecked(MakeTempFolder());
    EXPECT_GT(report.written, 0u);
    for (const CTreeNode* node : fx.model->Tree().AllNodes()) {
      for (const FileRow& row : fx.model->RowsOfNode(node)) {
        uint32_t length = 0;
        if (row.file) row.file->LoadContent(&length);
      }
    }
    EXPECT_FALSE(HeldForWriting(image));
  }
  EXPECT_TRUE(ReadWholeFile(image) == before);
}

INSTANTIATE_TEST_SUITE_P(Images, ReadOnly, ::testing::ValuesIn(kFixtureCases), NameFromWhat());
INSTANTIATE_TEST_SUITE_P(Partitions, ReadOnly, ::testing::ValuesIn(kPartitionCases), NameFromWhat());
#ifndef _WIN32
INSTANTIATE_TEST_SUITE_P(Containers, ReadOnly, ::testing::ValuesIn(kContainerCases), NameFromWhat());
#endif

}  // namespace
