#include <gtest/gtest.h>

#include <ostream>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "app/ScanSession.h"
#include "platform/MemoryDevice.h"
#include "app/Recovery.h"
#include "ntfs/FileRecord.h"
#include "platform/Drives.h"
#include "scan/ScanThread.h"
#include "support/FakeProgress.h"
#include "support/FatImageBuilder.h"
#include "support/Fixtures.h"
#include "support/NtfsImageBuilder.h"
#include "support/ParamNames.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  bool ntfsReady = false;  // the MFT walk ran
  size_t files = 0;        // rows listed in the whole tree
  size_t written = 0;
  size_t failed = 0;
  bool inside = true;      // nothing was written beside the target folder
};

struct HostileCase {
  const char* what;
  Bytes (*image)();
  int32_t mode;
  bool (*expected)(const Outcome&);
};

// Shows the case by its description in test output.
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.what; }

// Scans an image, lists everything, recovers everything into a fresh folder.
Outcome ScanAndRecover(const HostileCase& c) {
  ScanSession session;
  session.selectedDrive = 'H';
  session.device = std::make_shared<CMemoryDevice>(std::make_shared<const std::vector<uint8_t>>(c.image()));
  session.recoveryMode = c.mode;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  Outcome out;
  out.ntfsReady = session.recordPrototype != nullptr;
  CResultsModel model(session);
  for (const CTreeNode* node : model.Tree().AllNodes()) out.files += model.RowsOfNode(node).size();
  model.ClickNodeCheckBox(model.Tree().GetDriveNode());
  const std::string parent = MakeTempFolder();
  const std::string target = parent + "/target";
  fs::create_directory(PathOf(target));
  const RecoveryReport report = CRecovery(model).RecoverChecked(target);
  out.written = report.written;
  out.failed = report.failed;
  // A hostile name must not reach the target's parent.
  for (const auto& e : fs::directory_iterator(PathOf(parent))) out.inside = out.inside && e.path() == PathOf(target);
  return out;
}

class HostileImage : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileImage, EndsInTheExpectedResultInBoundedTime) {
  const auto start = std::chrono::steady_clock::now();
  const Outcome out = ScanAndRecover(GetParam());
  EXPECT_TRUE(GetParam().expected(out)) << GetParam().what << ": ready " << out.ntfsReady << ", files "
                                        << out.files << ", written " << out.written << ", failed " << out.failed;
  EXPECT_TRUE(out.inside) << GetParam().what;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << GetParam().what;
}

Bytes FileName(uint64_t parent, const std::u16string& name) { return ResidentAttr(0x30, FileNameValue(parent, name, 1, 5)); }
Bytes Data(const char* text) { return ResidentAttr(0x80, Bytes(text, text + std::strlen(text))); }

NtfsImageBuilder& Put(NtfsImageBuilder& b, uint64_t n, uint16_t flags, std::vector<Bytes> attrs) {
  b.PutRecord(n, FileRecordBytes(flags, attrs, n));
  return b;
}

Bytes ParentCycle() {
  NtfsImageBuilder b;
  Put(b, 16, kRecordIsDirectory, {FileName(17, u"a")});
  Put(b, 17, kRecordIsDirectory, {FileName(16, u"b")});
  Put(b, 18, 0, {FileName(16, u"in cycle.txt"), Data("lost")});
  Put(b, 19, kRecordIsDirectory, {FileName(19, u"self")});
  Put(b, 20, 0, {FileName(19, u"in self.txt"), Data("self")});
  return b.Image();
}

Bytes AttributeLengths() {
  NtfsImageBuilder b;
  Bytes zero = Data("zero");
  std::memset(zero.data() + 4, 0, 4);
  Bytes past = Data("past");
  past[5] = 0x20;
  Put(b, 16, 0, {FileName(5, u"zero.txt"), zero});
  Put(b, 17, 0, {FileName(5, u"past.txt"), past});
  Put(b, 18, 0, {FileName(5, u"list.txt"), ResidentAttr(0x20, AttrListEntry(0x80, 0, 19, 0)), Data("list")});
  return b.Image();
}

Bytes HostileRuns() {
  NtfsImageBuilder b;
  Put(b, 16, 0, {FileName(5, u"huge.bin"),
                 NonResidentAttr(0x80, {0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0,
                                 ~0ULL >> 1, 1 << 20)});
  Put(b, 17, 0, {FileName(5, u"negative.bin"), NonResidentAttr(0x80, {0x11, 0x04, 0x10, 0x11, 0x02, 0x80, 0}, 0, 5, 6 * 4096)});
  Put(b, 18, 0, {FileName(5, u"far.bin"), NonResidentAttr(0x80, {0x18, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x40, 0}, 0, 0, 4096)});
  return b.Image();
}

Bytes BootField(size_t offset, uint8_t value) {
  NtfsImageBuilder b;
  Put(b, 16, 0, {FileName(5, u"x.txt"), Data("x")});
  b.Image()[offset] = value;
  return b.Image();
}
Bytes ZeroSectorsPerCluster() { return BootField(0x0D, 0); }
Bytes ZeroBytesPerSector() { Bytes b = BootField(0x0B, 0); b[0x0C] = 0; return b; }
Bytes RecordsLargerThanClusters() { return BootField(0x40, 2); }

Bytes HugeMft() {
  // The MFT claims 2^50 bytes of records; its runs map 16 clusters.
  NtfsImageBuilder b;
  b.PutMftRecord({NonResidentAttr(0x80, RunList({{NtfsImageBuilder::kMftCluster, 16}}), 0, (1ULL << 38) - 1, 1ULL << 50)});
  Put(b, 16, 0, {FileName(5, u"x.txt"), Data("x")});
  return b.Image();
}

Bytes TruncatedNtfs() {
  NtfsImageBuilder b;
  Put(b, 16, 0, {FileName(5, u"x.txt"), Data("x")});
  b.Image().resize(NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize + 10 * 1024);
  return b.Image();
}

Bytes HostileNames() {
  NtfsImageBuilder b;
  Put(b, 16, kRecordIsDirectory, {FileName(5, u"..")});
  Put(b, 17, 0, {FileName(16, u"."), Data("dot")});
  Put(b, 18, 0, {FileName(16, u"../../escape"), Data("up")});
  Put(b, 19, 0, {FileName(5, u"a\\b\x01\x1F"), Data("ctl")});
  Put(b, 20, kRecordIsDirectory, {FileName(5, u"/")});
  Put(b, 21, 0, {FileName(20, u"root.txt"), Data("root")});
  return b.Image();
}

FatImageBuilder FatWithRoot(const std::vector<Bytes>& entries) {
  FatImageBuilder b;
  b.WriteCluster(2, Concat(entries));
  return b;
}

Bytes CyclicFatChains() {
  // The root's chain loops 2 -> 3 -> 2; a deleted file points into it.
  FatImageBuilder b = FatWithRoot({ShortEntry("\xE5" "ILE    TXT", 0x20, 10, 100)});
  b.SetFat(2, 3);
  b.SetFat(3, 2);
  b.WriteCluster(3, ShortEntry("\xE5" "ECOND  TXT", 0x20, 11, 100));
  return b.Image();
}

Bytes DirectoryContainingItself() {
  FatImageBuilder b = FatWithRoot({ShortEntry("\xE5" "OOP       ", 0x10, 3, 0)});
  b.WriteCluster(3, Concat({ShortEntry(".          ", 0x10, 3, 0), ShortEntry("..         ", 0x10, 0, 0),
                            ShortEntry("\xE5" "OOP       ", 0x10, 3, 0), ShortEntry("\xE5" "ILE    TXT", 0x20, 12, 10)}));
  return b.Image();
}

Bytes FatPointingAnywhere() {
  FatImageBuilder b = FatWithRoot({ShortEntry("\xE5" "IG    BIN", 0x20, 5, 0xFFFFFF00), ShortEntry("LIVE       ", 0x10, 0x0FFFFF00, 0)});
  for (uint32_t c = 3; c < 2048; ++c) b.SetFat(c, c * 7919 % 4096);
  return b.Image();
}

Bytes TruncatedFat32() {
  Bytes image = FatWithRoot({ShortEntry("\xE5" "ILE    TXT", 0x20, 10, 100)}).Image();
  image.resize(20 * 512);
  return image;
}

Bytes GarbageBootSector() {
  Bytes image(256 * 1024);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  std::memcpy(image.data() + 3, "NTFS    ", 8);
  return image;
}

bool ListsTheRecoverableFiles(const Outcome& o) { return o.files == 2 && o.written == 2; }
bool NotReadyAndNothingListed(const Outcome& o) { return !o.ntfsReady && o.files == 0; }
bool NothingWritten(const Outcome& o) { return o.written == 0; }
bool SomeFilesListedAndNoneCrashed(const Outcome& o) { return o.written + o.failed == o.files; }
bool AllNamesKeptInside(const Outcome& o) { return o.files == 4 && o.written == 4; }
bool BadStreamsFail(const Outcome& o) { return o.files == 3 && o.failed == 3 && o.written == 0; }
bool ValidOnesOnly(const Outcome& o) { return o.files == 1 && o.written == 1; }
// The walks end at the bad attribute: the names before it are listed, and the
// files whose data stood behind it fail with a reason.
bool NamesKeptDataCutShort(const Outcome& o) { return o.files == 3 && o.written == 1 && o.failed == 2; }
bool FatCycleFiles(const Outcome& o) { return o.files >= 1 && o.written + o.failed == o.files; }

INSTANTIATE_TEST_SUITE_P(
    Table, HostileImage,
    ::testing::Values(
        HostileCase{"MFT parent cycles", ParentCycle, ModeDeletedFiles, ListsTheRecoverableFiles},
        HostileCase{"attribute and list lengths of 0 or past the record", AttributeLengths, ModeDeletedFiles,
                    NamesKeptDataCutShort},
        HostileCase{"run lists with huge or negative lengths", HostileRuns, ModeDeletedFiles, BadStreamsFail},
        HostileCase{"sectors per cluster of 0", ZeroSectorsPerCluster, ModeUniversal, NotReadyAndNothingListed},
        HostileCase{"bytes per sector of 0", ZeroBytesPerSector, ModeUniversal, NotReadyAndNothingListed},
        HostileCase{"file records larger than a cluster", RecordsLargerThanClusters, ModeDeletedFiles,
                    SomeFilesListedAndNoneCrashed},
        HostileCase{"MFT size far beyond its runs", HugeMft, ModeDeletedFiles, ValidOnesOnly},
        HostileCase{"truncated NTFS image", TruncatedNtfs, ModeUniversal, SomeFilesListedAndNoneCrashed},
        HostileCase{"names with separators, dots and control characters", HostileNames, ModeDeletedFiles,
                    AllNamesKeptInside},
        HostileCase{"garbage boot sector", GarbageBootSector, ModeUniversal, NotReadyAndNothingListed},
        HostileCase{"cyclic FAT chains", CyclicFatChains, ModeDeletedFiles, FatCycleFiles},
        HostileCase{"a directory that contains itself", DirectoryContainingItself, ModeDeletedFiles,
                    ValidOnesOnly},
        HostileCase{"FAT pointing anywhere, sizes beyond the volume", FatPointingAnywhere, ModeDeletedFiles,
                    SomeFilesListedAndNoneCrashed},
        HostileCase{"truncated FAT32 image", TruncatedFat32, ModeDeletedFiles, NothingWritten}),
    NameFromWhat());

}  // namespace
