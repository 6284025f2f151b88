// The one decision of a volume's file system, and the table of carved formats.

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <set>

#include "app/ResultsModel.h"
#include "app/ScanSession.h"
#include "filetypes/BaseFile.h"
#include "filetypes/CarvedFormats.h"
#include "platform/MemoryDevice.h"
#include "scan/FileSystems.h"
#include "scan/ScanThread.h"
#include "support/CarvedFiles.h"
#include "support/FakeProgress.h"
#include "support/FatImageBuilder.h"
#include "support/NtfsImageBuilder.h"
#include "support/ParamNames.h"

namespace {

constexpr size_t kPictureSector = 900;  // past the MFT and the records the builder writes

// An NTFS volume holding one deleted file, and a JPEG at a sector start of its free space.
NtfsImageBuilder NtfsWithPicture() {
  NtfsImageBuilder b;
  b.PutRecord(16, FileRecordBytes(0, {ResidentAttr(0x30, FileNameValue(5, u"gone.txt", 1, 1)),
                                      ResidentAttr(0x80, {'g'})}, 16));
  const Bytes jpeg = Jpeg(3000);
  if (b.Image().size() < (kPictureSector + 16) * 512) b.Image().resize((kPictureSector + 16) * 512);
  std::copy(jpeg.begin(), jpeg.end(), b.Image().begin() + kPictureSector * 512);
  return b;
}

Bytes HealthyNtfs() { return NtfsWithPicture().Image(); }
Bytes NtfsWithZeroSectorsPerCluster() {
  Bytes image = HealthyNtfs();
  image[0x0D] = 0;
  return image;
}
// Two changed bytes in the MFT's record 0: its signature.
Bytes NtfsWithDamagedMftRecord() {
  Bytes image = HealthyNtfs();
  const size_t record0 = NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize;
  image[record0] = 'X';
  image[record0 + 1] = 'Y';
  return image;
}
Bytes NtfsOfAnOldVersion() {
  NtfsImageBuilder b(64, 1, 2);
  return b.Image();
}
Bytes HealthyFat32() {
  FatImageBuilder b;
  b.WriteCluster(2, ShortEntry("\xE5" "ONE    TXT", 0x20, 10, 100));
  return b.Image();
}
Bytes Fat32WithZeroSectorsPerCluster() {
  Bytes image = HealthyFat32();
  image[0x0D] = 0;
  return image;
}
Bytes ExFatBootSector() {
  Bytes image(64 * 1024, 0);
  std::memcpy(image.data() + 3, "EXFAT   ", 8);
  return image;
}
Bytes NoFileSystem() { return Bytes(64 * 1024, 0x3C); }

struct DecisionCase {
  const char* what;
  Bytes (*image)();
  const char* fileSystem;
  int32_t resultSource;
  const char* note;  // a piece of the one note, or null for none
};

void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.what; }

class FileSystemDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(FileSystemDecision, ChoosesTheReaderAndSaysWhy) {
  ScanSession session;
  session.device = std::make_shared<CMemoryDevice>(std::make_shared<const Bytes>(GetParam().image()));
  session.recoveryMode = ModeDeletedFiles;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  EXPECT_EQ(session.fileSystem, GetParam().fileSystem);
  EXPECT_EQ(session.resultSource, GetParam().resultSource);
  EXPECT_TRUE(session.sourceError.empty()) << session.sourceError;
  if (GetParam().note == nullptr) {
    EXPECT_TRUE(session.notes.empty()) << session.notes.front();
  } else {
    ASSERT_EQ(session.notes.size(), 1u);
    EXPECT_NE(session.notes[0].find(GetParam().note), std::string::npos) << session.notes[0];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileSystemDecision,
    ::testing::Values(
        DecisionCase{"healthy NTFS", HealthyNtfs, "NTFS", SourceNtfs, nullptr},
        DecisionCase{"NTFS with 0 sectors per cluster", NtfsWithZeroSectorsPerCluster, "NTFS", SourceOther,
                     "NTFS boot sector, byte 0xd (sectors per cluster): found 0x0, expected at least 1"},
        DecisionCase{"NTFS whose MFT record 0 is damaged", NtfsWithDamagedMftRecord, "NTFS", SourceOther,
                     "FILE record 0, byte 0x0 (signature): found 0x454c5958"},
        DecisionCase{"NTFS older than 3.0", NtfsOfAnOldVersion, "NTFS", SourceOther,
                     "(NTFS version): found 0x102, expected 3.0"},
        DecisionCase{"healthy FAT32", HealthyFat32, "FAT32", SourceFat32, nullptr},
        DecisionCase{"FAT32 with 0 sectors per cluster", Fat32WithZeroSectorsPerCluster, "FAT32", SourceOther,
                     "FAT boot sector, byte 0xd (sectors per cluster)"},
        DecisionCase{"exFAT without a sector size", ExFatBootSector, "exFAT", SourceOther,
                     "exFAT boot sector, byte 0x6c (bytes per sector shift): found 0x0, expected 9 to 12"},
        DecisionCase{"no file system", NoFileSystem, "", SourceOther, "No known file system"}),
    NameFromWhat());

// A damaged MFT is when universal recovery matters most: the volume is
// carved whole instead of ending with nothing, in either mode.
TEST(FileSystemDecision, DamagedNtfsIsCarvedInEveryMode) {
  for (int32_t mode : {ModeDeletedFiles, ModeUniversal}) {
    ScanSession session;
    session.selectedDrive = 'D';
    session.device = std::make_shared<CMemoryDevice>(std::make_shared<const Bytes>(NtfsWithDamagedMftRecord()));
    session.recoveryMode = mode;
    FakeProgress progress;
    ScanThreadProc(progress, session);
    EXPECT_EQ(progress.okCalls, 1);
    ASSERT_EQ(session.foundFiles.size(), 1u) << mode;
    EXPECT_EQ(session.foundFiles[0].name, "pic" + std::to_string(kPictureSector) + ".jpg");
    CResultsModel model(session);
    ASSERT_NE(model.Tree().GetByTypeNode(), nullptr);
  }
}

// The first records fail their checks in the MFT: their copies in $MFTMirr
// are read instead, the deleted files are listed, and the scan says so.
TEST(FileSystemDecision, FirstRecordsAreReadFromTheMirrorWhenTheirMftCopyFails) {
  Bytes image = NtfsWithDamagedMftRecord();
  constexpr uint64_t kMirrorCluster = 2;
  const size_t mft = NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize;
  image[0x38] = kMirrorCluster;  // the boot sector's $MFTMirr cluster
  std::copy(image.begin() + mft, image.begin() + mft + 4 * 1024, image.begin() + kMirrorCluster * 4096);
  image[kMirrorCluster * 4096] = 'F';  // the mirror's record 0 is whole
  image[kMirrorCluster * 4096 + 1] = 'I';
  ScanSession session;
  session.device = std::make_shared<CMemoryDevice>(std::make_shared<const Bytes>(image));
  session.recoveryMode = ModeDeletedFiles;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  EXPECT_EQ(session.resultSource, SourceNtfs);
  ASSERT_EQ(session.foundFiles.size(), 1u);
  EXPECT_EQ(session.foundFiles[0].name, "gone.txt");
  ASSERT_EQ(session.notes.size(), 1u);
  EXPECT_EQ(session.notes[0],
            "MFT record 0 fails its checks (FILE record 0, byte 0x0 (signature): found 0x454c5958, expected "
            "\"FILE\" (0x454c4946)): its copy in $MFTMirr is used");
}

// Without its $Bitmap, free space cannot be told from used: universal
// recovery searches every cluster, and says so.
TEST(FileSystemDecision, NtfsWithoutABitmapIsCarvedWhole) {
  ScanSession session;
  session.device = std::make_shared<CMemoryDevice>(std::make_shared<const Bytes>(HealthyNtfs()));
  session.recoveryMode = ModeUniversal;
  FakeProgress progress;
  ScanThreadProc(progress, session);
  ASSERT_EQ(session.notes.size(), 1u);
  EXPECT_NE(session.notes[0].find("The volume bitmap ($Bitmap) cannot be read"), std::string::npos);
  EXPECT_NE(session.notes[0].find("every cluster is searched"), std::string::npos);
  size_t carved = 0;
  for (const FoundFile& f : session.foundFiles) carved += f.kind == FoundKind::Carved;
  EXPECT_EQ(carved, 1u);
}

TEST(FileSystemDecision, TableNamesEachFileSystemOnce) {
  std::set<std::string> names;
  std::set<int32_t> sources;
  for (const FileSystemEntry& entry : FileSystemTable()) {
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
    EXPECT_TRUE(sources.insert(entry.resultSource).second) << entry.name;
    EXPECT_NE(entry.open, nullptr);
  }
  EXPECT_EQ(names, (std::set<std::string>{"NTFS", "FAT32", "FAT", "exFAT"}));
}

struct KindCase {
  int32_t typeCode;
  const char* folder;
  const char* name;  // at sector 77
  FileImage icon;
  PreviewKind preview;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.folder; }

class CarvedKinds : public ::testing::TestWithParam<KindCase> {};

// The formats keep their codes, folders, names, icons and previews.
TEST_P(CarvedKinds, KeepTheirFoldersNamesAndViews) {
  const KindCase& c = GetParam();
  const CarvedKind* kind = FindCarvedKind(c.typeCode);
  ASSERT_NE(kind, nullptr);
  EXPECT_STREQ(TypeFolderName(c.typeCode), c.folder);
  EXPECT_EQ(CarvedFileName(c.typeCode, 77), c.name);
  EXPECT_EQ(kind->icon, c.icon);
  EXPECT_EQ(kind->preview, c.preview);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CarvedKinds,
    ::testing::Values(KindCase{kTypeJpg, "JPG", "pic77.jpg", kImageJpg, PreviewKind::Picture},
                      KindCase{kTypeZip, "ZIP", "Zip77.ZIP", kImageArchive, PreviewKind::ZipListing},
                      KindCase{kTypeDocx, "word", "word77.docx", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeXlsx, "xlsx", "ID_XLSX77.xlsx", kImageOther, PreviewKind::Hex},
                      KindCase{kTypePptx, "ppt", "ppt77.pptx", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeBmp, "BMP", "pic77.bmp", kImageBmp, PreviewKind::Picture},
                      KindCase{kTypePng, "PNG", "pic77.png", kImageJpg, PreviewKind::Picture},
                      KindCase{kTypeGif, "GIF", "pic77.gif", kImageJpg, PreviewKind::Picture},
                      KindCase{kTypeWebp, "WebP", "pic77.webp", kImageJpg, PreviewKind::Picture},
                      KindCase{kTypeHeic, "HEIC", "pic77.heic", kImageJpg, PreviewKind::Hex},
                      KindCase{kTypeMp4, "MP4", "video77.mp4", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeMov, "MOV", "video77.mov", kImageOther, PreviewKind::Hex},
                      KindCase{kType3gp, "3GP", "video77.3gp", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeAvi, "AVI", "video77.avi", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeMkv, "MKV", "video77.mkv", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeWebm, "WebM", "video77.webm", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeTiff, "TIFF", "pic77.tif", kImageJpg, PreviewKind::Picture},
                      KindCase{kTypeRaw, "RAW", "pic77.raw", kImageJpg, PreviewKind::Hex},
                      KindCase{kTypeWav, "WAV", "audio77.wav", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeM4a, "M4A", "audio77.m4a", kImageOther, PreviewKind::Hex},
                      KindCase{kType7z, "7z", "archive77.7z", kImageArchive, PreviewKind::Hex},
                      KindCase{kTypeSqlite, "SQLite", "db77.sqlite", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeGzip, "GZ", "archive77.gz", kImageArchive, PreviewKind::Hex},
                      KindCase{kTypeRtf, "RTF", "doc77.rtf", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeOgg, "Ogg", "audio77.ogg", kImageOther, PreviewKind::Hex},
                      KindCase{kTypePdf, "PDF", "doc77.pdf", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeDoc, "DOC", "doc77.doc", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeXls, "XLS", "sheet77.xls", kImageOther, PreviewKind::Hex},
                      KindCase{kTypePpt, "PPT97", "slides77.ppt", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeMsg, "MSG", "mail77.msg", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeOle, "OLE", "file77.ole", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeMp3, "MP3", "audio77.mp3", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeFlac, "FLAC", "audio77.flac", kImageOther, PreviewKind::Hex},
                      KindCase{kTypeRar, "RAR", "archive77.rar", kImageArchive, PreviewKind::Hex},
                      KindCase{kTypeOdt, "ODT", "doc77.odt", kImageOther, PreviewKind::ZipListing},
                      KindCase{kTypeOds, "ODS", "sheet77.ods", kImageOther, PreviewKind::ZipListing},
                      KindCase{kTypeOdp, "ODP", "slides77.odp", kImageOther, PreviewKind::ZipListing},
                      KindCase{kTypeEpub, "EPUB", "book77.epub", kImageOther, PreviewKind::ZipListing},
                      KindCase{kTypeJar, "JAR", "archive77.jar", kImageArchive, PreviewKind::ZipListing},
                      KindCase{kTypeApk, "APK", "app77.apk", kImageArchive, PreviewKind::ZipListing},
                      KindCase{kTypePsd, "PSD", "pic77.psd", kImageJpg, PreviewKind::Hex}),
    NameFromIndex());

TEST(CarvedFormatTable, EveryTypeCodeHasOneKindAndUnknownCodesNone) {
  std::set<int32_t> codes;
  for (const CarvedFormat& format : CarvedFormatTable()) {
    EXPECT_FALSE(format.starts.empty()) << format.name;
    for (const CarvedKind& kind : format.kinds) EXPECT_TRUE(codes.insert(kind.typeCode).second) << kind.folder;
  }
  EXPECT_EQ(codes.size(), 43u);
  EXPECT_EQ(FindCarvedKind(0), nullptr);
  EXPECT_EQ(FindCarvedKind(99), nullptr);
  EXPECT_EQ(CarvedFileName(99, 1), "");
  EXPECT_STREQ(TypeFolderName(-1), "");
}

// A start is recognised from the table, and a start whose analyser refuses
// it falls through to the next format's.
TEST(CarvedFormatTable, CreatesTheAnalyserOfTheStartFound) {
  Bytes sector(512, 0);
  EXPECT_EQ(CreateCarvedFile(sector, 0, 512, nullptr), nullptr);
  const Bytes jpeg = Jpeg(100);
  std::copy(jpeg.begin(), jpeg.end(), sector.begin());
  EXPECT_NE(CreateCarvedFile(sector, 0, 512, nullptr), nullptr);
  sector[6] = 'X';  // not JFIF: refused by the JPEG analyser, and no other format starts so
  EXPECT_EQ(CreateCarvedFile(sector, 0, 512, nullptr), nullptr);
  EXPECT_EQ(CreateCarvedFile(ByteSpan(sector.data(), 1), 0, 512, nullptr), nullptr);
}

}  // namespace
