#include <gtest/gtest.h>

#include <ostream>

#include <filesystem>

#include "app/ScanSession.h"
#include "fat32/Entry.h"
#include "fat32/Folder.h"
#include "platform/MemoryDevice.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "support/FatImageBuilder.h"
#include "support/Fixtures.h"
#include "support/ParamNames.h"
#include "support/ZeroPaddedDevice.h"
#include "support/Sha256.h"
#include "volume/FAT32VolumeAccess.h"

namespace {

std::unique_ptr<CFAT32VolumeAccess> Open(const Bytes& image) {
  return std::make_unique<CFAT32VolumeAccess>(
      std::make_shared<CMemoryDevice>(std::make_shared<const std::vector<uint8_t>>(image)));
}

TEST(Fat32Access, MapsClustersPastTheReservedSectorsAndFats) {
  // A 500 MiB volume of which only the reserved sectors, the FATs and the
  // first clusters are held: the rest reads as zeros.
  FatImageBuilder b(1000, 8, 2, 4);
  auto open = [&] {
    return std::make_unique<CFAT32VolumeAccess>(
        std::make_shared<CZeroPaddedDevice>(std::make_shared<const Bytes>(b.Image()), b.VolumeBytes()));
  };
  auto access = open();
  EXPECT_EQ(access->ClusterToSector(2), 2000u);
  EXPECT_EQ(access->GetClusterCount(), 127998u);
  EXPECT_EQ(access->GetClusterSize(), 4096u);
  b.WriteCluster(2, Bytes(4096, 0x77));
  access = open();
  Bytes cluster(4096);
  ASSERT_TRUE(access->ReadCluster(2, cluster.data()));
  EXPECT_EQ(cluster, Bytes(4096, 0x77)) << "cluster 2 lies at (32 + 2000) sectors";
}

struct ChainCase {
  const char* what;
  std::vector<std::pair<uint32_t, uint32_t>> fat;  // cluster, entry
  uint32_t first;
  uint32_t clusters;  // measured
  std::vector<uint32_t> read;  // clusters read in order
};

// Shows the case by its description in test output.
void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.what; }

class ChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ChainTest, MeasuresAndReadsWithinTheMeasure) {
  FatImageBuilder b;
  for (uint32_t c = 3; c < 12; ++c) b.WriteCluster(c, Bytes(512, static_cast<uint8_t>(c)));
  for (auto [cluster, value] : GetParam().fat) b.SetFat(cluster, value);
  auto access = Open(b.Image());
  uint32_t size = 0;
  ASSERT_TRUE(access->ReadClusterChain(GetParam().first, nullptr, &size));
  EXPECT_EQ(size, GetParam().clusters * 512) << GetParam().what;
  Bytes buffer(size + 512, 0xEE);  // one guard cluster past the measure
  ASSERT_TRUE(access->ReadClusterChain(GetParam().first, buffer.data(), &size));
  for (size_t i = 0; i < GetParam().read.size(); ++i) EXPECT_EQ(buffer[i * 512], GetParam().read[i]) << GetParam().what;
  EXPECT_EQ(buffer[size], 0xEE) << GetParam().what << ": nothing past the measured size";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChainTest,
    ::testing::Values(ChainCase{"intact", {{5, 6}, {6, 0x0FFFFFFF}}, 5, 2, {5, 6}},
                      ChainCase{"cleared after the first", {{5, 0}}, 5, 1, {5}},
                      ChainCase{"runs into a free entry", {{5, 6}, {6, 0}}, 5, 1, {5}},
                      ChainCase{"other end marker", {{5, 6}, {6, 0x0FFFFFF8}}, 5, 2, {5, 6}},
                      ChainCase{"cycle", {{5, 6}, {6, 5}}, 5, 2, {5, 6}},
                      ChainCase{"first cluster out of range", {}, 0x0FFFFFF0, 0, {}}),
    NameFromWhat());

TEST(Fat32Access, GarbageBootSectorShowsNoClusters) {
  Bytes image(64 * 1024, 0xFF);
  auto access = Open(image);
  uint32_t size = 0;
  EXPECT_TRUE(access->ReadClusterChain(2, nullptr, &size));
  EXPECT_LE(access->GetClusterCount(), image.size() / 4);
}

// Short names as the file system means them: no padding, no dot without an
// extension, lower case where the case bits say so.
TEST(Fat32Entry, ShortNames) {
  const struct {
    const char* stored;
    uint8_t attributes;
    uint8_t caseBits;
    const char* shown;
  } cases[] = {
      {"\xE5" "EPORT  DOC", 0x20, 0x00, "#EPORT.DOC"},
      {"README  TXT", 0x20, 0x00, "README.TXT"},
      {"DOCS       ", 0x10, 0x00, "DOCS"},
      {"README  TXT", 0x20, 0x08, "readme.TXT"},
      {"README  TXT", 0x20, 0x18, "readme.txt"},
      {"\xE5" "EADME  TXT", 0x20, 0x18, "#eadme.txt"},
      {"MAKEFILE   ", 0x20, 0x08, "makefile"},
      {"\x05" "BC     TXT", 0x20, 0x00, "\xC3\xA5" "BC.TXT"},  // 0xE5 in the code page, escaped as 0x05
  };
  const std::string before = AnsiCodePage();
  ASSERT_TRUE(SetAnsiCodePage("CP1252", nullptr));
  for (const auto& c : cases) {
    Bytes entry = ShortEntry(c.stored, c.attributes, 5, 10);
    entry[0x0C] = c.caseBits;
    EXPECT_EQ(CEntry(entry, 0, false).GetName(), c.shown) << c.stored;
  }
  ASSERT_TRUE(SetAnsiCodePage(before, nullptr));
}

TEST(Fat32Entry, LongNamesComeFromTheEntriesBeforeTheShortOne) {
  for (const std::u16string& name : {std::u16string(u"A name of 22 letters!!"), std::u16string(u"exactly twenty-six chars!!"),
                                     std::u16string(u"假期照片.txt")}) {
    for (bool deleted : {false, true}) {
      std::vector<Bytes> parts = LongNameEntries(name, deleted);
      const uint16_t count = static_cast<uint16_t>(parts.size());
      parts.push_back(ShortEntry(deleted ? "\xE5NAME~1 TXT" : "NAME~1  TXT", 0x20, 5, 10));
      const Bytes set = Concat(parts);
      CEntry entry(set, count, false);
      EXPECT_EQ(entry.GetName(), Utf16ToUtf8(name.data(), name.size()));
      EXPECT_EQ(entry.GetEntrySetSize(), (count + 1u) * 32);
    }
  }
}

TEST(Fat32Entry, TimeTextIsWrittenAsStored) {
  EXPECT_EQ(FatTimeText(ShortEntry("A       TXT", 0x20, 5, 1, 0x5871, 0x5140)), "2024-03-17  10:10");
  EXPECT_EQ(FatTimeText(ShortEntry("A       TXT", 0x20, 5, 1, 0, 0x5140)), "1980-00-00  10:10");
}

// A deleted file recovers exactly its size, on from its first cluster.
TEST(Fat32Entry, ContentIsTheFilesSizeReadOnFromItsFirstCluster) {
  FatImageBuilder b(512, 8);  // 4 KiB clusters, 65534 of them
  const uint32_t size = 11 * 1024 * 1024 + 1000;
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
  std::copy(data.begin(), data.end(), b.Image().begin() + b.ClusterOffset(100));
  auto access = Open(b.Image());
  const Bytes entry = ShortEntry("\xE5" "IG     BIN", 0x20, 100, size);
  CFileEntry file(entry, 0, false, access.get());
  uint32_t length = 0;
  const uint8_t* preview = file.LoadContent(&length);
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(length, CDelFile::kPreviewCap);
  EXPECT_TRUE(std::equal(preview, preview + length, data.begin()));
  const std::string path = MakeTempFolder() + "/big.bin";
  std::string error;
  ASSERT_TRUE(file.RecoverTo(path, &error)) << error;
  EXPECT_EQ(std::filesystem::file_size(PathOf(path)), size);
  EXPECT_EQ(Sha256OfFile(path), Sha256Hex(data.data(), data.size()));
}

TEST(Fat32Entry, SizeBeyondTheVolumeFails) {
  FatImageBuilder b;
  auto access = Open(b.Image());
  const Bytes entry = ShortEntry("\xE5" "UGE    BIN", 0x20, 10, 0xFFFFFFF0);
  CFileEntry file(entry, 0, false, access.get());
  std::string error;
  EXPECT_FALSE(file.RecoverTo(MakeTempFolder() + "/huge.bin", &error));
  EXPECT_NE(error.find("too few free clusters"), std::string::npos) << error;
}

struct PlausibleCase {
  const char* what;
  Bytes entry;
  bool plausible;
};

// Shows the case by its description in test output.
void PrintTo(const PlausibleCase& c, std::ostream* os) { *os << c.what; }

Bytes WithByte(Bytes e, size_t offset, uint8_t value) {
  e[offset] = value;
  return e;
}

Bytes WithDate(Bytes e, int year) {
  const uint16_t date = static_cast<uint16_t>(((year - 1980) << 9) | (1 << 5) | 1);
  e[0x10] = date & 0xFF;
  e[0x11] = date >> 8;
  e[0x12] = date & 0xFF;  // accessed the same day
  e[0x13] = date >> 8;
  return e;
}

class PlausibleTest : public ::testing::TestWithParam<PlausibleCase> {};

TEST_P(PlausibleTest, Table) {
  EXPECT_EQ(IsPlausibleEntry(GetParam().entry, 1000, CurrentYear()), GetParam().plausible) << GetParam().what;
}

const Bytes kFile = ShortEntry("\xE5" "ILE    TXT", 0x20, 7, 100);
const Bytes kDir = ShortEntry("\xE5" "UB        ", 0x10, 8, 0);

INSTANTIATE_TEST_SUITE_P(
    Table, PlausibleTest,
    ::testing::Values(PlausibleCase{"deleted file", kFile, true},
                      PlausibleCase{"folder with a space-padded extension", kDir, true},
                      PlausibleCase{"folder with a zero extension", WithByte(WithByte(kDir, 8, 0), 9, 0), true},
                      PlausibleCase{"created in 2021", WithDate(kFile, 2021), true},
                      PlausibleCase{"created this year", WithDate(kFile, CurrentYear()), true},
                      PlausibleCase{"created next year", WithDate(kFile, CurrentYear() + 1), false},
                      PlausibleCase{"deleted with the high cluster word Linux keeps", WithByte(kFile, 0x14, 1), true},
                      PlausibleCase{"first byte zero", WithByte(kFile, 0, 0), false},
                      PlausibleCase{"empty file without a cluster", ShortEntry("\xE5" "MPTY   TXT", 0x20, 0, 0), true},
                      PlausibleCase{"folder without a cluster", ShortEntry("\xE5" "UB        ", 0x10, 0, 0), false},
                      PlausibleCase{"cluster beyond the volume", ShortEntry("\xE5" "AR     TXT", 0x20, 5000, 1), false},
                      PlausibleCase{"attribute bit 0x40", WithByte(kFile, 0x0B, 0x60), false},
                      PlausibleCase{"reserved bits set", WithByte(kFile, 0x0C, 0x01), false},
                      PlausibleCase{"hour 24", WithByte(kFile, 0x17, 24 << 3), false}),
    NameFromWhat());

// A volume with the root (cluster 2) holding a deleted folder "OLD" (cluster 3)
// with a file and a sub-folder (cluster 4) holding another.
class FolderTest : public ::testing::Test {
 protected:
  FolderTest() {
    b.WriteCluster(2, Concat({ShortEntry("MAROVI     ", 0x08, 0, 0), ShortEntry("\xE5" "LD        ", 0x10, 3, 0),
                              ShortEntry("LIVE    TXT", 0x20, 9, 5), ShortEntry("\xE5" "ONE    TXT", 0x20, 10, 5)}));
    b.WriteCluster(3, Concat({ShortEntry(".          ", 0x10, 3, 0), ShortEntry("..         ", 0x10, 0, 0),
                              ShortEntry("\xE5" "        TXT", 0x20, 5, 5), ShortEntry("\xE5" "UB        ", 0x10, 4, 0)}));
    b.WriteCluster(4, Concat({ShortEntry(".          ", 0x10, 4, 0), ShortEntry("..         ", 0x10, 3, 0),
                              ShortEntry("\xE5" "EEP    BIN", 0x20, 6, 5)}));
  }
  CRootFolder& Load() {
    access = Open(b.Image());
    loader = std::make_unique<CFolderLoader>(access.get(), access.get(), &session.foundFolders, &session.directoryClusters);
    root = std::make_unique<CRootFolder>(2);
    root->Load(*loader);
    return *root;
  }
  FatImageBuilder b;
  ScanSession session;
  std::unique_ptr<CFAT32VolumeAccess> access;
  std::unique_ptr<CFolderLoader> loader;
  std::unique_ptr<CRootFolder> root;
};

TEST_F(FolderTest, KeepsDeletedEntriesAndDeletedFoldersWithAllTheirFiles) {
  CRootFolder& r = Load();
  ASSERT_TRUE(r.HasContent());
  ASSERT_EQ(r.Files().size(), 1u) << "the live file and the volume label are not kept";
  EXPECT_EQ(r.Files()[0]->GetName(), "#ONE.TXT");
  ASSERT_EQ(r.SubFolders().size(), 1u);
  const CFolderEntry& old = *r.SubFolders()[0];
  EXPECT_EQ(old.Files().size(), 1u);
  ASSERT_EQ(old.SubFolders().size(), 1u);
  EXPECT_EQ(old.SubFolders()[0]->Files()[0]->GetName(), "#EEP.BIN");
}

TEST_F(FolderTest, RootWithoutAVolumeLabelKeepsItsFirstEntry) {
  std::vector<Bytes> parts = LongNameEntries(u"First File.txt", true);
  parts.push_back(ShortEntry("\xE5" "IRSTF~1TXT", 0x20, 11, 5));
  parts.push_back(Bytes(32 * 1, 0));  // end of the directory
  b.WriteCluster(2, Concat(parts));
  CRootFolder& r = Load();
  ASSERT_EQ(r.Files().size(), 1u);
  EXPECT_EQ(r.Files()[0]->GetName(), "First File.txt");
}

TEST_F(FolderTest, DeletedFolderWhoseClusterIsInUseIsNotLoaded) {
  b.SetFat(3, 0x0FFFFFFF);
  EXPECT_FALSE(Load().SubFolders().size());
}

TEST_F(FolderTest, FolderThatContainsItselfEnds) {
  // The sub-folder lists the deleted folder again as one of its entries.
  b.WriteCluster(4, Concat({ShortEntry(".          ", 0x10, 4, 0), ShortEntry("..         ", 0x10, 3, 0),
                            ShortEntry("\xE5" "OOP       ", 0x10, 3, 0), ShortEntry("\xE5" "EEP    BIN", 0x20, 6, 5)}));
  CRootFolder& r = Load();
  ASSERT_EQ(r.SubFolders().size(), 1u);
  EXPECT_EQ(r.SubFolders()[0]->SubFolders()[0]->Files().size(), 1u);
}

TEST_F(FolderTest, CyclicRootChainEnds) {
  b.SetFat(2, 2);  // the root's chain points at itself
  CRootFolder& r = Load();
  // The root's one cluster is walked once, however often the chain comes back to it.
  EXPECT_EQ(r.Files().size(), 1u);
  EXPECT_EQ(r.SubFolders().size(), 1u);
}

TEST(RawFolder, WalkedFromEntryZeroWithoutDotEntries) {
  const Bytes cluster = Concat({ShortEntry("\xE5" "NE     TXT", 0x20, 5, 5), ShortEntry("\xE5" "WO     TXT", 0x20, 6, 5),
                                Bytes(512 - 64, 0)});
  ScanSession session;
  FatImageBuilder b;
  auto access = Open(b.Image());
  CFolderLoader loader(access.get(), access.get(), &session.foundFolders, &session.directoryClusters);
  CRawFolder folder(cluster, 40, 1);
  EXPECT_TRUE(folder.Load(loader));
  EXPECT_EQ(folder.Files().size(), 2u);
  EXPECT_EQ(folder.GetName(), "dir1");
}

}  // namespace
