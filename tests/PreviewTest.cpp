#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/HexRows.h"
#include "app/Preview.h"
#include "app/TextPreview.h"
#include "platform/Text.h"
#include "support/Fixtures.h"

namespace {

TEST(Preview, KindByExtension) {
  EXPECT_EQ(PreviewKindForName("photo.PNG"), PreviewKind::Picture);
  EXPECT_EQ(PreviewKindForName("a.gif"), PreviewKind::Picture);
  EXPECT_EQ(PreviewKindForName("photo.jpeg"), PreviewKind::Hex);
  EXPECT_EQ(PreviewKindForName("Zip123.ZIP"), PreviewKind::ZipListing);
  EXPECT_EQ(PreviewKindForName("word9.docx"), PreviewKind::Hex);
  EXPECT_EQ(PreviewKindForName("bmp"), PreviewKind::Picture);
  EXPECT_EQ(PreviewKindForName("pic7.tif"), PreviewKind::Picture);
  EXPECT_EQ(PreviewKindForName("pic7.webp"), PreviewKind::Picture);
  EXPECT_EQ(PreviewKindForName("pic7.heic"), PreviewKind::Hex);
}

std::vector<uint8_t> CarvedAt(size_t sector) {
  std::ifstream in(FixturePath("raw-carve.img"), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(sector * 512));
  std::vector<uint8_t> bytes(64 * 1024);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

TEST(ZipListing, ListsMembersWithCommentsAndSizes) {
  // The archive with member comments and a long archive comment, at sector 119980 of the raw fixture.
  const std::vector<uint8_t> zip = CarvedAt(119980);
  const std::string listing = ZipListingText(zip);
  EXPECT_EQ(listing.rfind("docs/readme.txt   [", 0), 0u) << listing;
  EXPECT_NE(listing.find("\r\ndata/noise.bin   ["), std::string::npos) << listing;
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 2);
}

TEST(ZipListing, DamagedAndEmptyMembers) {
  EXPECT_EQ(ZipListingText(std::vector<uint8_t>{'P', 'K', 5, 6, 0}), "文件已经损坏");
  EXPECT_EQ(ZipListingText(std::vector<uint8_t>{}), "文件已经损坏");
  // A local header, then a central entry for a folder of size 0, cut after its name.
  std::vector<uint8_t> zip = {'P', 'K', 3, 4, 0, 0};
  std::vector<uint8_t> central(46, 0);
  central[0] = 'P'; central[1] = 'K'; central[2] = 1; central[3] = 2;
  central[28] = 4;  // name length
  zip.insert(zip.end(), central.begin(), central.end());
  for (char c : std::string("dir/")) zip.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(ZipListingText(zip), "dir/\r\n");
  zip.pop_back();  // the name now runs past the end: the walk stops
  EXPECT_EQ(ZipListingText(zip), "");
}

// One central-directory entry after a local header: flags, sizes and name as given.
std::vector<uint8_t> ZipWithMember(uint16_t flags, uint32_t compressed, uint32_t uncompressed, const std::string& name) {
  std::vector<uint8_t> zip = {'P', 'K', 3, 4, 0, 0};
  std::vector<uint8_t> central(46, 0);
  central[0] = 'P'; central[1] = 'K'; central[2] = 1; central[3] = 2;  // signature
  central[8] = static_cast<uint8_t>(flags);                            // general purpose flags
  central[9] = static_cast<uint8_t>(flags >> 8);
  for (int i = 0; i < 4; ++i) central[20 + i] = static_cast<uint8_t>(compressed >> (8 * i));    // compressed size
  for (int i = 0; i < 4; ++i) central[24 + i] = static_cast<uint8_t>(uncompressed >> (8 * i));  // uncompressed size
  central[28] = static_cast<uint8_t>(name.size());                     // name length
  zip.insert(zip.end(), central.begin(), central.end());
  zip.insert(zip.end(), name.begin(), name.end());
  return zip;
}

TEST(ZipListing, NamesByTheirFlagAndSizesOnceExtracted) {
  // Bit 11 set: the name is UTF-8 whatever the code page.
  EXPECT_EQ(ZipListingText(ZipWithMember(0x0800, 100, 2048, "照片.jpg")), "照片.jpg   [2.0KB]\r\n");
  // Without it the name is in the ANSI code page (CP936 here): the same picture's name in GBK.
  const std::string before = AnsiCodePage();
  ASSERT_TRUE(SetAnsiCodePage("CP936", nullptr));
  EXPECT_EQ(ZipListingText(ZipWithMember(0, 100, 2048, "\xD5\xD5\xC6\xAC.jpg")), "照片.jpg   [2.0KB]\r\n");
  SetAnsiCodePage(before, nullptr);
  // A UTF-8 flag on bytes that are no UTF-8 shows replacement characters, not garbage bytes.
  EXPECT_EQ(ZipListingText(ZipWithMember(0x0800, 1, 1, "a\xFF")), "a\xEF\xBF\xBD   [1byte]\r\n");
}

struct TextCase {
  const char* what;
  std::string bytes;
  TextEncoding encoding;
  const char* text;
};
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.what; }

class TextDetection : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextDetection, TellsTextFromOtherBytes) {
  const std::string& b = GetParam().bytes;
  const TextPreview preview = DecodeTextPreview(ByteSpan(reinterpret_cast<const uint8_t*>(b.data()), b.size()));
  EXPECT_EQ(preview.encoding, GetParam().encoding);
  EXPECT_EQ(preview.text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextDetection,
    ::testing::Values(TextCase{"ascii", "hello\r\nworld\n", TextEncoding::Utf8, "hello\r\nworld\n"},
                      TextCase{"utf8_chinese", "\xE7\x85\xA7\xE7\x89\x87 ok", TextEncoding::Utf8, "照片 ok"},
                      TextCase{"utf8_bom", "\xEF\xBB\xBFhi", TextEncoding::Utf8, "hi"},
                      TextCase{"utf16le_bom", std::string("\xFF\xFEh\0i\0", 6), TextEncoding::Utf16LE, "hi"},
                      TextCase{"utf16be_bom", std::string("\xFE\xFF\0h\0i", 6), TextEncoding::Utf16BE, "hi"},
                      TextCase{"utf16le_by_its_zeros", std::string("a\0b\0c\0d\0", 8), TextEncoding::Utf16LE, "abcd"},
                      TextCase{"gbk_in_the_code_page", "\xD5\xD5\xC6\xAC list", TextEncoding::Ansi, "照片 list"},
                      TextCase{"binary", std::string("\x01\x02\x03\x00\x05\x06\x07\x08", 8), TextEncoding::None, ""},
                      TextCase{"control_bytes", "ab\x01\x02\x03\x04" "cd", TextEncoding::None, ""},
                      TextCase{"empty", "", TextEncoding::None, ""}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(HexRows, SixteenBytesARowWhenWide) {
  uint8_t data[20];
  for (uint8_t i = 0; i < 20; ++i) data[i] = static_cast<uint8_t>('A' + i);
  EXPECT_EQ(HexRowCount(20, kWideHexBytesPerRow), 2u);
  const std::string row = HexRowText(data, 20, 1, kWideHexBytesPerRow);
  EXPECT_EQ(row.rfind("00000010  51 52 53 54 ", 0), 0u) << row;
  EXPECT_EQ(row.size(), HexRowWidth(kWideHexBytesPerRow) - 12) << "the hex of a short last row keeps its width";
}

}  // namespace
