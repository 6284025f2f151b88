#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <set>

#include "app/ScanSession.h"
#include "fat32/Folder.h"
#include "filetypes/BmpFile.h"
#include "platform/Drives.h"
#include "scan/ScanThread.h"
#include "scan/SignatureScan.h"
#include "support/FakeProgress.h"
#include "support/FatImageBuilder.h"
#include "support/ParamNames.h"
#include "volume/VolumeAccess.h"

namespace {

constexpr uint32_t kSector = 512;

// A BMP of the given total size, header only; the pixels stay zero.
// A BMP of one row of 8-bit pixels that fills the size given.
Bytes Bmp(uint32_t size, uint32_t dibSize = 40, uint16_t reserved = 0, uint32_t pixelOffset = 54) {
  Bytes b(std::max<uint32_t>(size, 34), 0);
  b[0] = 'B';
  b[1] = 'M';
  std::memcpy(&b[2], &size, 4);
  std::memcpy(&b[6], &reserved, 2);
  std::memcpy(&b[10], &pixelOffset, 4);
  std::memcpy(&b[14], &dibSize, 4);
  const uint32_t width = size > pixelOffset ? (size - pixelOffset) / 4 * 4 : 4;
  const uint16_t one = 1, bits = 8;
  if (dibSize == 12) {
    const uint16_t narrow = static_cast<uint16_t>(std::min<uint32_t>(width, 0xFFFC));
    std::memcpy(&b[18], &narrow, 2);  // width
    std::memcpy(&b[20], &one, 2);     // height
    std::memcpy(&b[22], &one, 2);     // planes
    std::memcpy(&b[24], &bits, 2);    // bits per pixel
  } else {
    std::memcpy(&b[18], &width, 4);
    const uint32_t height = 1;
    std::memcpy(&b[22], &height, 4);
    std::memcpy(&b[26], &one, 2);
    std::memcpy(&b[28], &bits, 2);
  }
  b.resize(size);
  return b;
}

// Units of several sectors over bytes in memory, some marked used, some unreadable.
class FakeVolumeAccess : public CVolumeAccess {
 public:
  FakeVolumeAccess(uint32_t units, uint32_t sectorsPerUnit)
      : m_units(units), m_sectorsPerUnit(sectorsPerUnit), bytes(static_cast<size_t>(units) * sectorsPerUnit * kSector, 0) {}
  uint64_t GetClusterCount() override { return m_units; }
  uint32_t GetClusterSize() override { return m_sectorsPerUnit * kSector; }
  uint32_t GetSectorSize() override { return sectorSize; }
  bool IsClusterUsed(uint64_t unit) override { return used.count(unit) != 0; }
  uint64_t ClusterToSector(uint64_t unit) override { return unit * m_sectorsPerUnit; }
  bool ReadSectors(uint64_t first, uint64_t last, uint8_t* buffer) override {
    std::memcpy(buffer, bytes.data() + static_cast<size_t>(first) * kSector, (last - first + 1) * kSector);
    return true;
  }
  bool ReadClusters(uint64_t first, uint64_t last, uint8_t* buffer) override {
    for (uint64_t u = first; u <= last; ++u) {
      if (unreadable.count(u)) return false;
    }
    return ReadSectors(ClusterToSector(first), ClusterToSector(last + 1) - 1, buffer);
  }
  void Put(uint32_t sector, const Bytes& data) { std::memcpy(bytes.data() + static_cast<size_t>(sector) * kSector, data.data(), data.size()); }

  uint32_t sectorSize = kSector;
  std::set<uint64_t> used, unreadable;

 private:
  uint32_t m_units, m_sectorsPerUnit;

 public:
  Bytes bytes;
};

struct ScanResult {
  std::vector<std::string> names;
  std::vector<uint64_t> sizes;
  FakeProgress progress;
  std::string error;
};

std::unique_ptr<ScanResult> Scan(FakeVolumeAccess& access, int cancelAfter = -1) {
  auto result = std::make_unique<ScanResult>();
  result->progress = FakeProgress(cancelAfter);
  ScanSession session;
  CFolderLoader loader(&access, nullptr, &session.foundFolders, &session.directoryClusters);
  SignatureScanner scanner(access, session, loader);
  if (!scanner.IsUsable(&result->error)) return result;
  scanner.Run(result->progress);
  for (const FoundFile& f : session.foundFiles) {
    result->names.push_back(f.name);
    result->sizes.push_back(f.size);
  }
  return result;
}

TEST(BmpSignature, HeaderTable) {
  EXPECT_NE(CBmpFile::TryCreate(Bmp(600), 0, kSector, nullptr), nullptr);
  EXPECT_EQ(CBmpFile::TryCreate(Bmp(600, 41), 0, kSector, nullptr), nullptr) << "DIB header size 41";
  EXPECT_EQ(CBmpFile::TryCreate(Bmp(600, 40, 1), 0, kSector, nullptr), nullptr) << "reserved fields set";
  EXPECT_EQ(CBmpFile::TryCreate(Bmp(600, 40, 0, 700), 0, kSector, nullptr), nullptr) << "pixels past the end";
  EXPECT_EQ(CBmpFile::TryCreate(Bytes{'B', 'M', 1}, 0, kSector, nullptr), nullptr) << "header cut short";
  for (uint32_t dib : {12u, 16u, 52u, 56u, 64u, 108u, 124u}) {
    EXPECT_NE(CBmpFile::TryCreate(Bmp(600, dib, 0, 14 + dib), 0, kSector, nullptr), nullptr) << dib;
  }
  EXPECT_EQ(CBmpFile::TryCreate(Bmp(600, 40, 0, 40), 0, kSector, nullptr), nullptr) << "pixels inside the header";
  // A header whose size field is smaller than its rows need takes the rows' size.
  Bytes stated = Bmp(600);
  stated[2] = 100;
  stated[3] = 0;
  const auto corrected = CBmpFile::TryCreate(stated, 0, kSector, nullptr);
  ASSERT_NE(corrected, nullptr);
  EXPECT_EQ(corrected->GetLength(kSector), 54u + 544u);
}

// Writers that give the headers' size as the file's, some with a pointer's
// hot spot in the reserved fields: the rows give the size. OS/2 bitmap
// arrays end where their last bitmap does.
TEST(BmpSignature, SizeFromTheRowsWhereTheSizeFieldCountsTheHeaders) {
  struct Case {
    const char* what;
    Bytes file;
    uint64_t length;  // 0: not a BMP
  };
  const auto headersOnly = [](uint32_t dib, uint16_t reserved, uint32_t stated) {
    Bytes b = Bmp(600, dib, reserved, 14 + dib);
    std::memcpy(&b[2], &stated, 4);
    return b;
  };
  Bytes array = Concat({Bytes{'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, Bmp(600, 12, 0x2020, 40)});
  const uint32_t arrayPixels = 14 + 14 + 12;
  std::memcpy(&array[14 + 10], &arrayPixels, 4);  // offsets count from the array's start
  Bytes chained = array;
  chained[6] = 8;  // a next header inside this one: no array
  for (const Case& c : {Case{"windows_header_with_a_hot_spot", headersOnly(40, 0x1A, 54), 54 + 544},
                        Case{"os2_v2_header_with_a_hot_spot", headersOnly(64, 0x29, 14 + 64), 78 + 520},
                        Case{"windows_hot_spot_and_a_size_of_neither", headersOnly(40, 0x1A, 60), 0},
                        Case{"os2_bitmap_array", array, 40 + 560},
                        Case{"os2_bitmap_array_chained_backwards", chained, 0}}) {
    const auto file = CBmpFile::TryCreate(c.file, 0, kSector, nullptr);
    if (c.length == 0) {
      EXPECT_EQ(file, nullptr) << c.what;
      continue;
    }
    if (file == nullptr) {
      ADD_FAILURE() << c.what << " not taken for a BMP";
      continue;
    }
    EXPECT_EQ(file->GetLength(kSector), c.length) << c.what;
  }
}

TEST(BmpSignature, EndsInTheSectorOfItsLastByte) {
  auto one = CBmpFile::TryCreate(Bmp(kSector), 70, kSector, nullptr);
  EXPECT_EQ(one->lastSector, 70u);
  EXPECT_EQ(one->lastByteIndex, kSector - 1);
  auto more = CBmpFile::TryCreate(Bmp(kSector + 1), 70, kSector, nullptr);
  EXPECT_EQ(more->lastSector, 71u);
  EXPECT_EQ(more->lastByteIndex, 0u);
  EXPECT_EQ(more->GetLength(kSector), kSector + 1);
}

// A TIFF whose directory lies ahead is pending, but holds no sector as its own.
TEST(CandidateHolder, NewerSignatureReplacesThePendingCandidate) {
  CandidateHolder holder(kSector, nullptr);
  Bytes run(5 * kSector, 0);
  const Bytes first{'I', 'I', 0x2A, 0, 0, 0x10, 0, 0};  // its first directory at 4096
  const Bytes second = Bmp(kSector + 10);
  std::copy(first.begin(), first.end(), run.begin());
  std::copy(second.begin(), second.begin() + 54, run.begin() + 2 * kSector);
  holder.BeginRun(run, false);
  EXPECT_FALSE(holder.Offer(0, 10));
  EXPECT_FALSE(holder.Offer(kSector, 11));
  EXPECT_FALSE(holder.Offer(2 * kSector, 12));
  EXPECT_TRUE(holder.Offer(3 * kSector, 13));
  ASSERT_EQ(holder.completed.size(), 1u);
  EXPECT_EQ(holder.completed[0]->firstSector, 12u);
  EXPECT_EQ(holder.completed[0]->typeCode, kTypeBmp);
}

TEST(SignatureScan, FindsFilesAcrossRunsThatTouch) {
  // 8 sectors a unit: a run is 5000 units; the BMP starts in the last unit of the first run.
  FakeVolumeAccess access(6000, 8);
  access.Put(4999 * 8 + 3, Bmp(10 * kSector));
  access.Put(100 * 8, Bmp(kSector));
  auto r = Scan(access);
  EXPECT_EQ(r->names, (std::vector<std::string>{"pic800.bmp", "pic39995.bmp"}));
  EXPECT_EQ(r->sizes, (std::vector<uint64_t>{kSector, 10 * kSector}));
  EXPECT_EQ(r->progress.foundTexts.back(), "找到2个文件");
}

struct BreakCase {
  const char* what;
  bool usedUnit;
  bool directoryCluster;
  bool unreadable;
};

// Shows the case by its description in test output.
void PrintTo(const BreakCase& c, std::ostream* os) { *os << c.what; }

class SignatureScanBreaks : public ::testing::TestWithParam<BreakCase> {};

// A used unit, a directory cluster or an unreadable run inside a file ends it.
TEST_P(SignatureScanBreaks, CandidateIsDropped) {
  FakeVolumeAccess access(64, 1);
  access.Put(10, Bmp(6 * kSector));
  access.Put(30, Bmp(2 * kSector));  // a later file is still found
  if (GetParam().usedUnit) access.used.insert(12);
  if (GetParam().directoryCluster) {
    access.Put(12, Concat({ShortEntry(".          ", 0x10, 12, 0), ShortEntry("..         ", 0x10, 0, 0)}));
  }
  if (GetParam().unreadable) {
    access.used.insert(20);  // ends the run at 19, so the unreadable run is 1 to 19
    access.unreadable.insert(13);
  }
  auto r = Scan(access);
  EXPECT_EQ(r->names, (std::vector<std::string>{"pic30.bmp"})) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, SignatureScanBreaks,
                         ::testing::Values(BreakCase{"used unit", true, false, false},
                                           BreakCase{"directory cluster", false, true, false},
                                           BreakCase{"unreadable run", false, false, true}),
                         NameFromWhat());

TEST(SignatureScan, ProgressShowsEvery2048thUnit) {
  FakeVolumeAccess access(8192, 1);
  auto r = Scan(access);
  EXPECT_EQ(r->progress.positions, (std::vector<uint32_t>{2048, 4096, 6144}));
  EXPECT_EQ(r->progress.percentTexts[1], "50.00%");
  EXPECT_EQ(r->progress.rangeHigh, 8192u);
}

TEST(SignatureScan, AllUnitsUsedEndsAtOnce) {
  FakeVolumeAccess access(100, 1);
  for (uint32_t u = 0; u < 100; ++u) access.used.insert(u);
  access.Put(5, Bmp(kSector));
  EXPECT_TRUE(Scan(access)->names.empty());
}

TEST(SignatureScan, UnitZeroIsNeverExamined) {
  FakeVolumeAccess access(100, 1);
  access.Put(0, Bmp(kSector));
  EXPECT_TRUE(Scan(access)->names.empty());
}

TEST(SignatureScan, CancelStopsBeforeTheNextRunAndSaysSo) {
  FakeVolumeAccess access(100000, 1);
  access.Put(5, Bmp(kSector));
  access.Put(90000, Bmp(kSector));
  auto r = Scan(access, 1);
  EXPECT_EQ(r->names, (std::vector<std::string>{"pic5.bmp"}));
  EXPECT_EQ(r->progress.messages, (std::vector<std::string>{std::string("扫描终止|") + kScanStoppedText}));
}

TEST(SignatureScan, UnusableGeometryIsRefused) {
  FakeVolumeAccess access(10, 1);
  access.sectorSize = 0;
  EXPECT_NE(Scan(access)->error.find("cannot be scanned"), std::string::npos);
}

TEST(SignatureScan, DirectoryClusterInFreeSpaceBecomesAFoundFolder) {
  FakeVolumeAccess access(64, 1);
  access.Put(12, Concat({ShortEntry(".          ", 0x10, 12, 0), ShortEntry("..         ", 0x10, 0, 0),
                         ShortEntry("\xE5" "OST    TXT", 0x20, 20, 5)}));
  ScanSession session;
  CFolderLoader loader(&access, nullptr, &session.foundFolders, &session.directoryClusters);
  SignatureScanner scanner(access, session, loader);
  FakeProgress progress;
  scanner.Run(progress);
  ASSERT_EQ(session.foundFolders.size(), 1u);
  EXPECT_EQ(session.foundFolders[0]->GetName(), "dir1");
  EXPECT_EQ(session.foundFolders[0]->Files().size(), 1u);
  EXPECT_EQ(session.directoryClusters, (std::vector<uint32_t>{12}));
}

TEST(SignatureScan, DriveThatCannotBeOpenedEndsWithItsReason) {
  ScanSession session;
  session.selectedDrive = '#';
  FakeProgress progress;
  RunSignatureScan(progress, session);
  EXPECT_FALSE(session.sourceError.empty());
  EXPECT_EQ(session.resultSource, SourceOther);
}

}  // namespace
