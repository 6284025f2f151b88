#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"

#include "ntfs/DataRuns.h"

namespace {

struct RunCase {
  const char* what;
  std::vector<uint8_t> bytes;
  uint64_t lastVCN;
  bool usable;
  std::vector<tagDataRun_Entry> runs;
};

// Shows the case by its description in test output.
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.what; }

class DataRunsTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(DataRunsTest, Decodes) {
  const RunCase& c = GetParam();
  std::vector<tagDataRun_Entry> runs;
  EXPECT_EQ(ParseDataRuns(c.bytes, 0, c.lastVCN, &runs), c.usable) << c.what;
  ASSERT_EQ(runs.size(), c.runs.size()) << c.what;
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i].lcn, c.runs[i].lcn) << c.what << " run " << i;
    EXPECT_EQ(runs[i].clusters, c.runs[i].clusters) << c.what << " run " << i;
    EXPECT_EQ(runs[i].startVCN, c.runs[i].startVCN) << c.what << " run " << i;
    EXPECT_EQ(runs[i].lastVCN, c.runs[i].lastVCN) << c.what << " run " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DataRunsTest,
    ::testing::Values(
        RunCase{"one run", {0x21, 0x18, 0x34, 0x56, 0x00}, 0x17, true, {{0x5634, 0x18, 0, 0x17}}},
        RunCase{"sparse run", {0x01, 0x10, 0x00}, 0x0F, true, {{-1, 0x10, 0, 0x0F}}},
        RunCase{"negative offset moves back",
                {0x11, 0x04, 0x40, 0x11, 0x02, 0xF0, 0x00}, 5, true,
                {{0x40, 4, 0, 3}, {0x30, 2, 4, 5}}},
        RunCase{"running LCN below 0 fails", {0x11, 0x04, 0x10, 0x11, 0x02, 0xE0, 0x00}, 5, false,
                {{0x10, 4, 0, 3}}},
        RunCase{"nibble above 8 ends the list, kept usable",
                {0x11, 0x04, 0x10, 0x91, 0x02, 0x00}, 5, true, {{0x10, 4, 0, 3}}},
        RunCase{"runs past the last VCN empty the list", {0x11, 0x20, 0x10, 0x00}, 5, false, {}},
        RunCase{"huge length past the last VCN", {0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00}, 5, false, {}},
        RunCase{"field running past the list ends it", {0x21, 0x18}, 0x17, true, {}},
        RunCase{"empty list", {0x00}, 0, true, {}}), NameFromWhat());

TEST(DataRuns, VcnsOfALaterExtentStartAtItsFirstVcn) {
  std::vector<tagDataRun_Entry> runs;
  ASSERT_TRUE(ParseDataRuns(std::vector<uint8_t>{0x11, 0x04, 0x20, 0x00}, 100, 103, &runs));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].startVCN, 100u);
  EXPECT_EQ(runs[0].lastVCN, 103u);
}

}  // namespace
