#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/Preview.h"
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

}  // namespace
