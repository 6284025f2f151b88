#include <gtest/gtest.h>

#include <fstream>

#include "platform/Drives.h"
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

TEST(Platform, MissingImageNamesThePathAndTheReason) {
  std::string error;
  EXPECT_FALSE(RegisterImage("/no/such/image.img", &error));
  EXPECT_EQ(error, "/no/such/image.img: No such file or directory");
  EXPECT_EQ(OpenDrive('#', &error), nullptr);
}

TEST(Platform, OutputFileInAMissingFolderFailsWithTheReason) {
  std::string error;
  EXPECT_EQ(COutputFile::Create("/no/such/folder/x", &error), nullptr);
  EXPECT_EQ(error, "No such file or directory");
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
  EXPECT_EQ(AnsiCodePage(), "CP936");
  const char gbk[] = {'\xD5', '\xD5', '\xC6', '\xAC'};  // "照片" in CP936
  EXPECT_EQ(AnsiToUtf8(gbk, 4), "照片");
  std::string error;
  EXPECT_FALSE(SetAnsiCodePage("NO-SUCH-CODEPAGE", &error));
}

}  // namespace
