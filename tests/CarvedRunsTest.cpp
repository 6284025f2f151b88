// The carving fixtures' files come back byte for byte wherever the ends of
// the runs the scan reads fall across them: the holder is handed each image
// in runs of a few sizes, so that every file straddles one somewhere.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "filetypes/BaseFile.h"
#include "filetypes/CarvedFormats.h"
#include "support/Fixtures.h"
#include "support/Sha256.h"

namespace {

constexpr uint32_t kSector = 512;

struct RunCase {
  const char* image;
  uint32_t sectorsPerRun;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.image << " in runs of " << c.sectorsPerRun; }

class CarvedAcrossRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(CarvedAcrossRuns, EveryFileWholeAndNothingElse) {
  const std::vector<uint8_t> image = ReadWholeFile(FixturePath(GetParam().image));
  ASSERT_FALSE(image.empty()) << GetParam().image;
  CandidateHolder holder(kSector, nullptr);
  holder.runLimitSector = image.size() / kSector - 1;
  const size_t runBytes = static_cast<size_t>(GetParam().sectorsPerRun) * kSector;
  for (size_t start = 0; start < image.size(); start += runBytes) {
    const ByteSpan run(image.data() + start, std::min(runBytes, image.size() - start));
    holder.BeginRun(run, true);
    for (size_t at = 0; at + kSector <= run.size(); at += kSector) holder.Offer(at, (start + at) / kSector);
    holder.EndRun();
  }
  std::map<uint64_t, const CBaseFile*> found;
  for (const auto& file : holder.completed) found[file->firstSector] = file.get();
  const std::vector<ManifestEntry> manifest = LoadManifest(GetParam().image);
  for (const ManifestEntry& entry : manifest) {
    std::smatch digits;
    ASSERT_TRUE(std::regex_search(entry.name, digits, std::regex("[0-9]+")));
    const uint64_t sector = std::stoull(digits.str());
    const auto it = found.find(sector);
    if (it == found.end()) {
      ADD_FAILURE() << entry.name << " not found";
      continue;
    }
    const CBaseFile& file = *it->second;
    EXPECT_EQ(CarvedFileName(file.typeCode, sector, file.Extension()), entry.name);
    const uint64_t length = file.GetLength(kSector);
    ASSERT_LE(sector * kSector + length, image.size()) << entry.name;
    EXPECT_EQ(Sha256Hex(image.data() + sector * kSector, length), entry.sha256) << entry.name << ", " << length
                                                                                << " bytes for " << entry.size;
    found.erase(it);
  }
  for (const auto& [sector, file] : found) ADD_FAILURE() << "not in the manifest: " << CarvedFileName(file->typeCode, sector);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CarvedAcrossRuns,
                         ::testing::Values(RunCase{"media-carve.img", 40000}, RunCase{"media-carve.img", 2048},
                                           RunCase{"media-carve.img", 1531}, RunCase{"docs-carve.img", 40000},
                                           RunCase{"docs-carve.img", 2048}, RunCase{"docs-carve.img", 1531}),
                         [](const auto& info) {
                           std::string name = info.param.image;
                           return name.substr(0, name.find('-')) + "_in_runs_of_" +
                                  std::to_string(info.param.sectorsPerRun);
                         });

}  // namespace
