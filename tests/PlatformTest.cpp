#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <zlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/Drives.h"
#include "platform/GzipImage.h"
#include "platform/MemoryDevice.h"
#include "support/ParamNames.h"
#include "platform/FileOutput.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "support/Fixtures.h"

namespace {

TEST(Platform, ImagesRegisterUnderTheirLetter) {
  const std::string image = FixturePath("ntfs-sample.img");
  std::string error;
  char letter = 0;
  ASSERT_TRUE(RegisterImage(image + "=k", &error, &letter)) << error;
  EXPECT_EQ(letter, 'K');
  DriveInfo info;
  ASSERT_TRUE(FindDrive('K', &info));
  EXPECT_EQ(info.fileSystem, "NTFS");
  EXPECT_TRUE(info.isImage);
  EXPECT_EQ(info.totalSize, 16u << 20);
  EXPECT_FALSE(RegisterImage(image + "=K", &error)) << "the letter is taken";
  EXPECT_NE(error.find("already in use"), std::string::npos);
  EXPECT_FALSE(IsPathOnDrive(MakeTempFolder(), 'K')) << "no folder lies on an image file";
  ForgetDrive('K');
}

TEST(Platform, GzippedImagesAreReadUnpacked) {
  const std::string packed = std::string(MAROVI_SOURCE_FIXTURES) + "/ntfs-sample.img.gz";
  std::string error;
  ASSERT_TRUE(RegisterImage(packed + "=G", &error)) << error;
  DriveInfo info;
  ASSERT_TRUE(FindDrive('G', &info));
  EXPECT_EQ(info.fileSystem, "NTFS");
  EXPECT_EQ(info.totalSize, 16u << 20);
  EXPECT_TRUE(info.isImage);
  auto device = OpenDrive('G', &error);
  ASSERT_TRUE(device) << error;
  std::vector<char> a(4096), b(4096);
  ASSERT_TRUE(ReadExactly(*device, 8192, a.data(), 4096));
  std::ifstream plain(PathOf(FixturePath("ntfs-sample.img")), std::ios::binary);
  plain.seekg(8192);
  plain.read(b.data(), 4096);
  EXPECT_EQ(a, b) << "the same bytes as the unpacked image";
  ForgetDrive('G');

  // A compressed image cut short is refused, with the reason.
  std::ifstream in(PathOf(packed), std::ios::binary);
  std::string head(20000, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  const std::string cut = MakeTempFolder() + "/cut.img.gz";
  std::ofstream(PathOf(cut), std::ios::binary) << head;
  EXPECT_FALSE(RegisterImage(cut + "=G", &error));
  EXPECT_NE(error.find("ends early"), std::string::npos) << error;
}

TEST(Platform, MissingImageNamesThePathAndTheReason) {
  std::string error;
  EXPECT_FALSE(RegisterImage("/no/such/image.img", &error));
  EXPECT_EQ(error.rfind("/no/such/image.img: ", 0), 0u) << error;
  EXPECT_NE(error.find(kMissingPathReason), std::string::npos) << error;
  EXPECT_EQ(OpenDrive('#', &error), nullptr);
}

TEST(Platform, OutputFileInAMissingFolderFailsWithTheReason) {
  std::string error;
  EXPECT_EQ(COutputFile::Create("/no/such/folder/x", &error), nullptr);
  EXPECT_NE(error.find(kMissingPathReason), std::string::npos) << error;
  const std::string folder = MakeTempFolder();
  EXPECT_TRUE(CreateFolder(folder + "/sub"));
  EXPECT_TRUE(CreateFolder(folder + "/sub")) << "an existing folder is reused";
}

TEST(Platform, FileTimesToCalendarFields) {
  SystemTime t;
  ASSERT_TRUE(FileTimeToSystemTime(0, &t));
  EXPECT_EQ(t.year, 1601);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  ASSERT_TRUE(FileTimeToSystemTime(133549722000000000ULL, &t));
  EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute}), (std::vector<int>{2024, 3, 15, 10, 30}));
  EXPECT_FALSE(FileTimeToSystemTime(~0ULL, &t));
}

TEST(Platform, TextConversions) {
  const std::u16string name = u"假期照片.JPG";
  EXPECT_EQ(Utf16ToUtf8(name.data(), name.size()), "假期照片.JPG");
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ(Utf16ToUtf8(lone, 3), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf8ToLower("ÄBC照片.JPG"), "äbc照片.jpg");
#ifdef _WIN32
  EXPECT_EQ(AnsiCodePage(), "CP" + std::to_string(GetACP())) << "the system's ANSI code page";
  ASSERT_TRUE(SetAnsiCodePage("CP936", nullptr));
#else
  EXPECT_EQ(AnsiCodePage(), "CP936");
#endif
  const char gbk[] = {'\xD5', '\xD5', '\xC6', '\xAC'};  // "照片" in CP936
  EXPECT_EQ(AnsiToUtf8(gbk, 4), "照片");
  std::string error;
  EXPECT_FALSE(SetAnsiCodePage("NO-SUCH-CODEPAGE", &error));
}

}  // namespace

#ifdef _WIN32
#include "platform/win32/Win32Device.h"

namespace {

struct GeometryCase {
  const char* what;
  std::vector<std::pair<size_t, std::string>> bytes;  // offset, bytes
  uint32_t bytesPerSector;
};
void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.what; }

class GeometryFallback : public ::testing::TestWithParam<GeometryCase> {};

// An image file does not answer the geometry query: the boot sector of a
// known file system gives the sector size, anything else 512.
TEST_P(GeometryFallback, SectorSizeFromTheBootSector) {
  std::string image(65536, '\0');
  for (const auto& [offset, bytes] : GetParam().bytes) image.replace(offset, bytes.size(), bytes);
  const std::string path = MakeTempFolder() + "\\boot.img";
  std::ofstream(PathOf(path), std::ios::binary) << image;
  std::string error;
  auto device = CWin32Device::Open(path, &error);
  ASSERT_TRUE(device) << error;
  DiskGeometry geometry;
  EXPECT_TRUE(device->GetGeometry(&geometry));
  EXPECT_EQ(geometry.bytesPerSector, GetParam().bytesPerSector);
  EXPECT_EQ(geometry.diskSize, image.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, GeometryFallback,
    ::testing::Values(GeometryCase{"ntfs_4096", {{3, "NTFS    "}, {0x0B, std::string("\x00\x10", 2)}}, 4096},
                      GeometryCase{"fat32_512", {{0x52, "FAT32   "}, {0x0B, std::string("\x00\x02", 2)}}, 512},
                      GeometryCase{"exfat_shift_11", {{3, "EXFAT   "}, {0x6C, "\x0B"}}, 2048},
                      GeometryCase{"ntfs_odd_size", {{3, "NTFS    "}, {0x0B, std::string("\x00\x03", 2)}}, 512},
                      GeometryCase{"no_file_system", {}, 512}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes GzipMember(const Bytes& data) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);  // 16: the gzip wrapper
  Bytes out(deflateBound(&stream, data.size()) + 64);
  stream.next_in = const_cast<uint8_t*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// Every member of a multi-member gzip file is unpacked, one after the other,
// and a file that unpacks past the bound is refused as soon as it does.
TEST(GzipImage, EveryMemberIsUnpackedWithinTheBound) {
  const Bytes first(300000, 'a'), second(5000, 'b');
  Bytes packed = GzipMember(first);
  const Bytes next = GzipMember(second);
  packed.insert(packed.end(), next.begin(), next.end());
  CMemoryDevice device(std::make_shared<const Bytes>(packed));
  std::string error;
  auto bytes = UnpackGzipImage(device, packed.size(), &error);
  ASSERT_NE(bytes, nullptr) << error;
  Bytes both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_TRUE(*bytes == both);

  const Bytes bomb = GzipMember(Bytes(3 << 20, 0));
  CMemoryDevice bombDevice(std::make_shared<const Bytes>(bomb));
  EXPECT_EQ(UnpackGzipImage(bombDevice, bomb.size(), &error, 1 << 20), nullptr);
  EXPECT_EQ(error, "unpacked it is larger than 1 MiB; unpack it to a file first");
  auto exact = UnpackGzipImage(bombDevice, bomb.size(), &error, 3 << 20);
  ASSERT_NE(exact, nullptr) << error;
  EXPECT_EQ(exact->size(), 3u << 20);
  EXPECT_LE(exact->capacity(), 3u << 20) << "the buffer never holds more than the bound";
}

}  // namespace
