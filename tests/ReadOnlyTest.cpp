#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/Recovery.h"
#include "support/FixtureCases.h"
#include "support/FixtureSession.h"
#include "support/ParamNames.h"
#include "support/Sha256.h"

namespace fs = std::filesystem;

namespace {

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

class ReadOnly : public ::testing::TestWithParam<FixtureCase> {};

// A scan and a full recovery leave every byte of the source as it was, and
// the source is only ever open for reading.
TEST_P(ReadOnly, SourceIsNeverWritten) {
  const FixtureCase& c = GetParam();
  const std::string image = FixturePath(c.image);
  const std::string before = Sha256OfFile(image);
  {
    FixtureSession fx(c.image, 'R', c.mode);
    ASSERT_TRUE(fx.registered);
    const std::vector<int> modes = AccessModes(image);
    EXPECT_FALSE(modes.empty()) << "the session keeps the source open for later reads";
    for (int mode : modes) EXPECT_EQ(mode, O_RDONLY);
    fx.model->ClickNodeCheckBox(fx.model->Tree().GetDriveNode());
    const RecoveryReport report = CRecovery(*fx.model).RecoverChecked(MakeTempFolder());
    EXPECT_GT(report.written, 0u);
    for (const CTreeNode* node : fx.model->Tree().AllNodes()) {
      for (const FileRow& row : fx.model->RowsOfNode(node)) {
        uint32_t length = 0;
        if (row.file) row.file->LoadContent(&length);
      }
    }
    for (int mode : AccessModes(image)) EXPECT_EQ(mode, O_RDONLY);
  }
  EXPECT_EQ(Sha256OfFile(image), before);
}

INSTANTIATE_TEST_SUITE_P(Images, ReadOnly, ::testing::ValuesIn(kFixtureCases), NameFromWhat());

}  // namespace
