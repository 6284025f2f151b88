#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cstring>
#include <random>

#include <zlib.h>

#include "filetypes/DocumentFiles.h"
#include "filetypes/JPGFile.h"
#include "filetypes/TiffFile.h"
#include "filetypes/ZipFile.h"
#include "support/CarvedFiles.h"
#include "support/FatImageBuilder.h"
#include "support/ParamNames.h"

namespace {

constexpr uint32_t kSector = 512;
using Bytes = std::vector<uint8_t>;

// Offers every sector of the image, one free run read in runs of
// sectorsPerRun, to a holder; the completed files come back.
struct Carve {
  explicit Carve(const Bytes& image, uint32_t sectorsPerRun = 1000) {
    holder.runLimitSector = image.size() / kSector - 1;
    for (size_t start = 0; start < image.size(); start += static_cast<size_t>(sectorsPerRun) * kSector) {
      const size_t size = std::min(image.size() - start, static_cast<size_t>(sectorsPerRun) * kSector);
      const ByteSpan run(image.data() + start, size);
      holder.BeginRun(run, true);
      for (size_t at = 0; at < size; at += kSector) {
        holder.Offer(at, static_cast<uint32_t>((start + at) / kSector));
      }
      holder.EndRun();
    }
  }
  CandidateHolder holder{kSector, nullptr};
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
const Bytes kEndOfImage{0xFF, 0xD9};

Bytes Gif() {
  return Concat({Text("GIF89a"), Bytes{4, 0, 4, 0, 0x80, 0, 0}, Bytes(6, 0x33),  // screen, 2-colour table
                 Bytes{0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 2, 3, 1, 2, 3, 0},    // image and its data
                 Bytes{0x3B}});
}

Bytes At(size_t offset, const Bytes& file, size_t imageSize) {
  Bytes image(imageSize, 0);
  std::copy(file.begin(), file.end(), image.begin() + offset);
  return image;
}

struct JpegCase {
  const char* what;
  size_t scanBytes;
  size_t sectors;  // of the image
  bool found;
};

// Shows the case by its description in test output.
void PrintTo(const JpegCase& c, std::ostream* os) { *os << c.what; }

class JpegEnd : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegEnd, CutAtTheEndOfImage) {
  const Bytes jpeg = Jpeg(GetParam().scanBytes);
  Carve c(At(0, jpeg, GetParam().sectors * kSector));
  ASSERT_EQ(c.holder.completed.size(), GetParam().found ? 1u : 0u) << GetParam().what;
  if (!GetParam().found) return;
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), jpeg.size()) << GetParam().what;
  EXPECT_EQ(c.holder.completed[0]->typeCode, kTypeJpg);
}

// The header is 2 + 18 + 69 + 14 = 103 bytes before the scan data.
INSTANTIATE_TEST_SUITE_P(Table, JpegEnd,
                         ::testing::Values(JpegCase{"within its first sector", 100, 4, true},
                                           JpegCase{"D9 last byte of a sector", kSector - 105, 4, true},
                                           JpegCase{"D9 first byte of a sector", kSector - 104, 4, true},
                                           JpegCase{"D9 second byte of a sector", kSector - 103, 4, true},
                                           JpegCase{"several sectors", 3000, 12, true}),
                         NameFromWhat());

// Old bytes of a used card: random, with FF bytes that are no markers.
Bytes OldBytes(size_t size, uint32_t seed = 7) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// Entropy-coded data with what a scan holds: stuffed FF 00, restart markers, fill bytes.
Bytes ScanData(size_t size) {
  Bytes d;
  for (size_t i = 0; d.size() < size; ++i) {
    d.push_back(static_cast<uint8_t>(0x20 + i % 90));
    if (i % 37 == 0) d.insert(d.end(), {0xFF, 0x00});
    if (i % 211 == 0) d.insert(d.end(), {0xFF, static_cast<uint8_t>(0xD0 + (i / 211) % 8)});
    if (i % 503 == 0) d.insert(d.end(), {0xFF, 0xFF, 0x00});
  }
  return d;
}

Bytes JpegFrom(const std::vector<Bytes>& segments, const std::vector<Bytes>& scans) {
  Bytes j{0xFF, 0xD8};
  for (const Bytes& s : segments) j.insert(j.end(), s.begin(), s.end());
  for (size_t i = 0; i < scans.size(); ++i) {
    if (i > 0) Append(j, Segment(0xC4, 30));  // a Huffman table between the scans of a progressive JPEG
    Append(j, Segment(0xDA, 10));
    Append(j, scans[i]);
  }
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

Bytes Jfif() {
  Bytes app = Segment(0xE0, 14);
  std::memcpy(app.data() + 4, "JFIF", 4);
  return app;
}

// An APP1 EXIF segment holding a whole thumbnail, whose FF D9 is not the end.
Bytes ExifWithThumbnail() {
  Bytes app = Segment(0xE1, 6 + 400);
  std::memcpy(app.data() + 4, "Exif\0\0", 6);
  const Bytes thumbnail = JpegFrom({Segment(0xDB, 65)}, {ScanData(200)});
  std::copy(thumbnail.begin(), thumbnail.end(), app.begin() + 10);
  return app;
}

// An APP2 MPF segment listing the picture itself and one preview of
// previewSize bytes at previewAt in the file. The segment comes right after
// Start Of Image, so its offsets count from byte 10.
Bytes MpfSegment(uint32_t previewAt, uint32_t previewSize) {
  Bytes m;
  Append(m, Text("MPF"));
  m.push_back(0);
  Append(m, Bytes{'I', 'I', 0x2A, 0, 8, 0, 0, 0});      // MP header, index IFD at 8
  Append(m, Bytes{2, 0});                                // two entries
  Append(m, Bytes{0x00, 0xB0, 7, 0, 4, 0, 0, 0, '0', '1', '0', '0'});  // MPFVersion
  Append(m, Bytes{0x02, 0xB0, 7, 0, 32, 0, 0, 0, 38, 0, 0, 0});        // MPEntry: 2 x 16 bytes at 38
  Append(m, Bytes{0, 0, 0, 0});                          // no next IFD
  Append(m, Bytes{0, 0, 3, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // the picture itself: offset 0
  const uint32_t offset = previewAt - 10;
  Bytes preview{0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) preview[4 + i] = static_cast<uint8_t>(previewSize >> (8 * i));
  for (int i = 0; i < 4; ++i) preview[8 + i] = static_cast<uint8_t>(offset >> (8 * i));
  Append(m, preview);
  Bytes s{0xFF, 0xE2, static_cast<uint8_t>((m.size() + 2) >> 8), static_cast<uint8_t>(m.size() + 2)};
  Append(s, m);
  return s;
}

// A camera's picture: the first image, then its preview, as MPF lists it.
Bytes JpegWithPreview(bool previewWhereListed) {
  const Bytes preview = JpegFrom({Jfif(), Segment(0xDB, 65)}, {ScanData(1500)});
  const size_t mpfSize = MpfSegment(0, 0).size();
  Bytes first = JpegFrom({MpfSegment(0, 0), Segment(0xDB, 65)}, {ScanData(2500)});
  const uint32_t previewAt = static_cast<uint32_t>(first.size() + 8);
  const Bytes mpf = MpfSegment(previewAt, static_cast<uint32_t>(preview.size()));
  std::copy(mpf.begin(), mpf.end(), first.begin() + 2);
  EXPECT_EQ(mpf.size(), mpfSize);
  Bytes file = Concat({first, Bytes(8, 0), preview});
  if (!previewWhereListed) file[previewAt + 1] = 0x00;
  return file;
}

struct JpegWalkCase {
  const char* what;
  Bytes jpeg;
  size_t length;  // of the picture found
};

void PrintTo(const JpegWalkCase& c, std::ostream* os) { *os << c.what; }

class JpegWalk : public ::testing::TestWithParam<JpegWalkCase> {};

// Whatever follows the picture in its sector and cluster, its end is where
// its own markers end.
TEST_P(JpegWalk, EndsWhereItsStructureEnds) {
  const Bytes& jpeg = GetParam().jpeg;
  Bytes image = Concat({jpeg, OldBytes(40 * kSector)});
  Carve c(image);
  ASSERT_FALSE(c.holder.completed.empty()) << GetParam().what;
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), GetParam().length) << GetParam().what;
  EXPECT_TRUE(c.holder.completed[0]->EndEstablished());
}

const Bytes kProgressive = JpegFrom({Jfif(), Segment(0xDB, 65)}, {ScanData(900), ScanData(1200), ScanData(700)});
const Bytes kWithThumbnail = JpegFrom({ExifWithThumbnail(), Segment(0xDB, 65)}, {ScanData(3000)});
const Bytes kPreviewed = JpegWithPreview(true);
const Bytes kPreviewMissing = JpegWithPreview(false);
// Writers that miscount an application segment: its length says 6 bytes
// less than it holds, or 2 bytes more.
Bytes MiscountedApp(int delta) {
  Bytes app = Segment(0xE1, 300);
  const int length = (app[2] << 8 | app[3]) + delta;
  app[2] = static_cast<uint8_t>(length >> 8);
  app[3] = static_cast<uint8_t>(length);
  return JpegFrom({Jfif(), app, Segment(0xDB, 65)}, {ScanData(3000)});
}
const Bytes kAppLonger = MiscountedApp(-6);
const Bytes kAppShorter = MiscountedApp(2);

INSTANTIATE_TEST_SUITE_P(
    Table, JpegWalk,
    ::testing::Values(JpegWalkCase{"baseline_followed_by_old_bytes", Jpeg(3000), Jpeg(3000).size()},
                      JpegWalkCase{"stuffed_bytes_restarts_and_fill", JpegFrom({Jfif()}, {ScanData(5000)}),
                                   JpegFrom({Jfif()}, {ScanData(5000)}).size()},
                      JpegWalkCase{"progressive_with_three_scans", kProgressive, kProgressive.size()},
                      JpegWalkCase{"exif_thumbnail_end_is_not_the_end", kWithThumbnail, kWithThumbnail.size()},
                      JpegWalkCase{"mpf_preview_after_the_picture", kPreviewed, kPreviewed.size()},
                      JpegWalkCase{"app_segment_six_bytes_longer_than_it_says", kAppLonger, kAppLonger.size()},
                      JpegWalkCase{"app_segment_two_bytes_shorter_than_it_says", kAppShorter, kAppShorter.size()},
                      JpegWalkCase{"mpf_preview_not_where_listed", kPreviewMissing,
                                   static_cast<size_t>(std::search(kPreviewMissing.begin() + 4, kPreviewMissing.end(),
                                                                   kEndOfImage.begin(), kEndOfImage.end()) -
                                                       kPreviewMissing.begin()) +
                                       2}),
    NameFromWhat());

// The picture's own data resumes in no later sector: another file's start,
// or a marker the scan cannot hold, ends it where it was cut. It is listed
// with what was found and with its end not established.
TEST(Jpeg, CutShortIsListedWithWhatWasFound) {
  const Bytes jpeg = Jpeg(6000);
  Bytes image = Concat({Bytes(jpeg.begin(), jpeg.begin() + 4 * kSector), Gif(), OldBytes(20 * kSector)});
  Carve c(image);
  ASSERT_GE(c.holder.completed.size(), 2u);
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), 4 * kSector);
  EXPECT_FALSE(c.holder.completed[0]->EndEstablished());
  EXPECT_EQ(c.holder.completed[1]->typeCode, kTypeGif);

  Bytes broken = Concat({Bytes(jpeg.begin(), jpeg.begin() + 1000), Bytes{0xFF, 0x07}, OldBytes(20 * kSector)});
  Carve d(broken);
  ASSERT_EQ(d.holder.completed.size(), 1u);
  EXPECT_EQ(d.holder.completed[0]->GetLength(kSector), 1000u);
  EXPECT_FALSE(d.holder.completed[0]->EndEstablished());
}

TEST(Jpeg, StartsTable) {
  EXPECT_NE(CJPGFile::TryCreate(Jpeg(10), 0, nullptr), nullptr);
  EXPECT_NE(CJPGFile::TryCreate(Jpeg(10, 0xE1), 0, nullptr), nullptr);
  EXPECT_NE(CJPGFile::TryCreate(Jpeg(10, 0xDB), 0, nullptr), nullptr);
  Bytes noJfif = Jpeg(10);
  noJfif[6] = 'X';
  EXPECT_EQ(CJPGFile::TryCreate(noJfif, 0, nullptr), nullptr);
  Bytes otherMarker = Jpeg(10);
  otherMarker[3] = 0xC0;
  EXPECT_EQ(CJPGFile::TryCreate(otherMarker, 0, nullptr), nullptr);
  // No marker where the first segment's length leads: not a JPEG, unless
  // that segment is a named one running past the first cluster (its rest in
  // a later piece).
  Bytes exif = Concat({Bytes{0xFF, 0xD8}, Segment(0xE1, 6000), OldBytes(8000, 4)});
  std::memcpy(exif.data() + 6, "Exif", 4);
  exif[4 + 6002] = 0x00;  // where the length leads
  EXPECT_NE(CJPGFile::TryCreate(exif, 0, nullptr), nullptr);
  Bytes shortExif = Concat({Bytes{0xFF, 0xD8}, Segment(0xE1, 600), OldBytes(8000, 4)});
  std::memcpy(shortExif.data() + 6, "Exif", 4);
  shortExif[4 + 602] = 0x00;
  EXPECT_EQ(CJPGFile::TryCreate(shortExif, 0, nullptr), nullptr);
}

TEST(Jpeg, MarkerWithoutFFRejects) {
  Bytes jpeg = Jpeg(100);
  jpeg[20] = 0x00;  // where the quantisation table's FF stands
  Carve c(At(0, jpeg, 4 * kSector));
  EXPECT_TRUE(c.holder.completed.empty());
  EXPECT_FALSE(c.holder.HasPending());
}

TEST(Jpeg, SegmentHeaderAcrossTwoRunsIsReadFromBoth) {
  // A segment whose header starts two bytes before the end of a run.
  Bytes jpeg{0xFF, 0xD8};
  Bytes app = Segment(0xE0, kSector - 8);
  std::memcpy(app.data() + 4, "JFIF", 4);
  jpeg.insert(jpeg.end(), app.begin(), app.end());
  Bytes sos = Segment(0xDA, 10);
  jpeg.insert(jpeg.end(), sos.begin(), sos.end());
  jpeg.resize(jpeg.size() + 300, 0x5A);
  jpeg.push_back(0xFF);
  jpeg.push_back(0xD9);
  ASSERT_EQ(jpeg.size() > kSector, true);
  Carve c(At(0, jpeg, 4 * kSector), 1);
  ASSERT_EQ(c.holder.completed.size(), 1u);
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), jpeg.size());
}

// A directory chain that points back to itself ends; a TIFF without strips,
// tiles or a thumbnail holds no picture and is not listed.
TEST(Tiff, WithoutImageDataIsNoFile) {
  Bytes tiff{0x49, 0x49, 0x2A, 0x00, 8, 0, 0, 0, 1, 0, 0x00, 0x01, 3, 0, 1, 0, 0, 0, 5, 0, 0, 0, 8, 0, 0, 0};
  Carve c(At(0, tiff, 4 * kSector));
  EXPECT_TRUE(c.holder.completed.empty());
  EXPECT_FALSE(c.holder.HasPending());
  Bytes big{0x4D, 0x4D, 0x00, 0x2A, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_NE(CTiffFile::TryCreate(big, 0, kSector, nullptr), nullptr);
}

TEST(Tiff, DisplacesAPendingCandidateOnlyWhenNothingElseStarts) {
  Bytes image = At(0, Jpeg(3000), 12 * kSector);
  const Bytes tiff{0x49, 0x49, 0x2A, 0x00, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::copy(tiff.begin(), tiff.end(), image.begin() + 2 * kSector);
  Carve c(image);
  ASSERT_EQ(c.holder.completed.size(), 1u) << "the TIFF header cut the JPEG short";
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), 2 * kSector);
}

// An ISO base media box: 32-bit size, or 1 and a 64-bit size after the type.
Bytes Box(const std::string& type, size_t body, bool largeSize = false) {
  const uint64_t size = body + (largeSize ? 16 : 8);
  Bytes b = largeSize ? Bytes{0, 0, 0, 1} : Bytes{uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)};
  b.insert(b.end(), type.begin(), type.end());
  for (int i = 7; largeSize && i >= 0; --i) b.push_back(static_cast<uint8_t>(size >> (8 * i)));
  b.resize(b.size() + body, 0x5A);
  return b;
}

struct WalkCase {
  const char* what;
  Bytes file;
  int32_t type;  // 0: nothing is listed
  size_t length;
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.what; }

class WalkedFiles : public ::testing::TestWithParam<WalkCase> {};

// Files followed through their structures end at their last byte, whatever
// lies after them; a structure that is none is not listed.
TEST_P(WalkedFiles, EndAtTheirLastByte) {
  Bytes image = At(0, GetParam().file, 40 * kSector);
  std::fill(image.begin() + static_cast<std::ptrdiff_t>(GetParam().file.size()), image.end(), 0x11);
  Carve c(image);
  if (GetParam().type == 0) {
    EXPECT_TRUE(c.holder.completed.empty()) << GetParam().what;
    return;
  }
  ASSERT_EQ(c.holder.completed.size(), 1u) << GetParam().what;
  EXPECT_EQ(c.holder.completed[0]->typeCode, GetParam().type);
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), GetParam().length);
}

// ftyp of brand isom, then moov, then an mdat of 64-bit size.
const Bytes kMp4 = Concat({Bytes{0, 0, 0, 24}, Text("ftypisom"), Bytes{0, 0, 2, 0}, Text("isommp41"),
                           Box("moov", 8), Box("mdat", 3000, true)});
// EBML header naming webm, a Segment of unknown size with Info and a Cluster.
const Bytes kWebm = Concat({Bytes{0x1A, 0x45, 0xDF, 0xA3, 0x87, 0x42, 0x82, 0x84}, Text("webm"),
                            Bytes{0x18, 0x53, 0x80, 0x67, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                            Bytes{0x15, 0x49, 0xA9, 0x66, 0x85, 1, 2, 3, 4, 5},
                            Bytes{0x1F, 0x43, 0xB6, 0x75, 0x40, 0x10}, Bytes(16, 0x77)});
const Bytes kGif = Gif();

// A GZIP member written by zlib: header, deflate stream, CRC-32 and size.
Bytes GzipMember(size_t size) {
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
  Bytes out(size + 1024);
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  z.next_in = data.data();
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

const Bytes kRtf = Text("{\\rtf1{\\fonttbl{\\f0 A;}}\\{not a group\\}{\\*\\data\\bin4 }}{{}text \\\\ end}");
const Bytes kGzip = GzipMember(5000);

// A Photoshop document of one channel, 3 x 2 pixels of 8 bits: header,
// empty colour mode, resource and layer sections, then the image data.
Bytes Psd(bool rle) {
  Bytes p = Concat({Text("8BPS"), Bytes{0, 1}, Bytes(6, 0), Bytes{0, 1},  // version 1, reserved, one channel
                    Bytes{0, 0, 0, 2}, Bytes{0, 0, 0, 3}, Bytes{0, 8}, Bytes{0, 1},  // height, width, depth, grey
                    Bytes(4, 0), Bytes(4, 0), Bytes(4, 0)});                      // the three sections' lengths
  if (!rle) return Concat({p, Bytes{0, 0}, Bytes(6, 0x40)});
  return Concat({p, Bytes{0, 1}, Bytes{0, 4, 0, 5}, Bytes(9, 0x41)});  // RLE: two rows of 4 and 5 bytes
}

// TIFF fields in either byte order, 2, 4 or 8 bytes wide.
Bytes Field(uint64_t v, int bytes, bool big) {
  Bytes b(static_cast<size_t>(bytes));
  for (int i = 0; i < bytes; ++i) b[static_cast<size_t>(big ? bytes - 1 - i : i)] = static_cast<uint8_t>(v >> (8 * i));
  return b;
}

// A TIFF of one strip of 100 bytes: classic or BigTIFF (LONG8 offsets and
// counts), either byte order; the BigTIFF one with a sub-directory of no
// entries, its IFD offset inline in the 8-byte field with junk past its 4 bytes.
Bytes Tiff(bool big, bool bigTiff) {
  const int word = bigTiff ? 8 : 4, count = bigTiff ? 8 : 2, entry = bigTiff ? 20 : 12;
  const uint64_t entries = bigTiff ? 3 : 2;
  const uint64_t ifd = bigTiff ? 16 : 8;
  const uint64_t strip = ifd + count + entries * entry + word;
  const uint64_t sub = strip + 100;
  Bytes t = big ? Text("MM") : Text("II");
  Append(t, Field(bigTiff ? 43 : 42, 2, big));
  if (bigTiff) Append(t, Concat({Field(8, 2, big), Field(0, 2, big)}));
  Append(t, Field(ifd, word, big));
  Append(t, Field(entries, count, big));
  const auto add = [&](uint16_t tag, uint16_t type, uint64_t n, Bytes value) {
    Append(t, Concat({Field(tag, 2, big), Field(type, 2, big), Field(n, word, big), value}));
  };
  const uint16_t wide = bigTiff ? 16 : 4;  // LONG8 or LONG
  add(0x0111, wide, 1, Field(strip, word, big));
  add(0x0117, wide, 1, Field(100, word, big));
  if (bigTiff) add(0x014A, 13, 1, Concat({Field(sub, 4, big), Bytes(4, 0xEE)}));
  Append(t, Field(0, word, big));
  Append(t, Bytes(100, 0x42));
  if (bigTiff) Append(t, Concat({Field(0, count, big), Field(0, word, big)}));
  return t;
}

// A Fujifilm RAF: its header, then the embedded JPEG at 160, the CFA
// header at 360 and the CFA data at 400, 1,000 bytes long.
Bytes Raf() {
  Bytes r = Concat({Text("FUJIFILMCCD-RAW 0201FF129502"), Bytes(84 - 28, 0x20)});
  Append(r, Concat({Field(160, 4, true), Field(200, 4, true), Field(360, 4, true), Field(40, 4, true),
                    Field(400, 4, true), Field(1000, 4, true)}));
  r.resize(160, 0);
  Append(r, Jpeg(150));
  r.resize(1400, 0x5A);
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Tiffs, WalkedFiles,
    ::testing::Values(WalkCase{"tiff_little_endian", Tiff(false, false), kTypeTiff, Tiff(false, false).size()},
                      WalkCase{"tiff_big_endian", Tiff(true, false), kTypeTiff, Tiff(true, false).size()},
                      WalkCase{"bigtiff_with_an_empty_sub_directory", Tiff(false, true), kTypeTiff,
                               Tiff(false, true).size()},
                      WalkCase{"bigtiff_big_endian", Tiff(true, true), kTypeTiff, Tiff(true, true).size()},
                      WalkCase{"fujifilm_raf_to_its_cfa_data", Raf(), kTypeRaw, 1400}),
    NameFromWhat());

// A PNG chunk: length, type, data, CRC-32 over type and data (spoilt on request).
Bytes PngChunk(const std::string& type, const Bytes& data, bool badCrc = false) {
  Bytes body = Concat({Text(type), data});
  uint32_t crc = static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
  if (badCrc) crc ^= 1;
  return Concat({Field(data.size(), 4, true), body, Field(crc, 4, true)});
}

Bytes Png(bool damagedIdat) {
  return Concat({Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
                 PngChunk("IHDR", Bytes{0, 0, 0, 4, 0, 0, 0, 4, 8, 0, 0, 0, 0}), PngChunk("IDAT", Bytes(700, 0x37), damagedIdat),
                 PngChunk("IEND", {})});
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, WalkedFiles,
    ::testing::Values(WalkCase{"png_to_its_iend", Png(false), kTypePng, Png(false).size()},
                      // Damaged in place, it still leads to the next chunk: the file goes on.
                      WalkCase{"png_with_a_chunk_whose_crc_fails", Png(true), kTypePng, Png(true).size()},
                      // Cut short after its header: what the CRCs vouched for is listed.
                      WalkCase{"png_whose_data_is_another_files",
                               [] {
                                 const Bytes png = Png(false);
                                 return Concat({Bytes(png.begin(), png.begin() + 33), Bytes(40, 0x99)});
                               }(),
                               kTypePng, 33},
                      WalkCase{"psd_with_raw_rows", Psd(false), kTypePsd, Psd(false).size()},
                      WalkCase{"psd_with_rle_rows_by_their_counts", Psd(true), kTypePsd, Psd(true).size()}),
    NameFromWhat());

INSTANTIATE_TEST_SUITE_P(
    Streams, WalkedFiles,
    ::testing::Values(WalkCase{"rtf_with_braces_escaped_and_in_a_binary_run", kRtf, kTypeRtf, kRtf.size()},
                      WalkCase{"rtf_with_a_nul_outside_a_binary_run", Text(std::string("{\\rtf1 a\0b}", 12)), 0, 0},
                      WalkCase{"gzip_member_checked_against_its_trailer", kGzip, kTypeGzip, kGzip.size()},
                      WalkCase{"gzip_whose_size_field_is_wrong",
                               [] {
                                 Bytes g = GzipMember(5000);
                                 g[g.size() - 1] ^= 1;
                                 return g;
                               }(),
                               0, 0}),
    NameFromWhat());

INSTANTIATE_TEST_SUITE_P(
    Table, WalkedFiles,
    ::testing::Values(WalkCase{"mp4_with_a_64_bit_mdat", kMp4, kTypeMp4, kMp4.size()},
                      WalkCase{"heic_with_a_makers_box_after_its_movie",
                               Concat({kMp4, Box("sefd", 106)}), kTypeMp4, kMp4.size() + 114},
                      WalkCase{"webm_segment_of_unknown_size", kWebm, kTypeWebm, kWebm.size()},
                      WalkCase{"gif_to_its_trailer", kGif, kTypeGif, kGif.size()},
                      // Its picture was whole: it is kept, cut short where the block that is none stands.
                      WalkCase{"gif_with_a_block_that_is_none", Concat({Bytes(kGif.begin(), kGif.end() - 1), Bytes{0x99}}),
                               kTypeGif, kGif.size() - 1},
                      WalkCase{"mp4_without_a_movie", Concat({Bytes(kMp4.begin(), kMp4.begin() + 24), Box("mdat", 100)}),
                               0, 0},
                      WalkCase{"ftyp_of_an_unknown_brand",
                               Concat({Bytes{0, 0, 0, 16}, Text("ftypzzzz"), Bytes(4, 0), Box("moov", 8)}), 0, 0}),
    NameFromWhat());

// A one-object PDF whose startxref gives xrefAt, or the true offset when 0;
// base shifts the offsets an update's section gives.
Bytes Pdf(size_t xrefAt = 0) {
  const std::string body = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  const std::string xref = "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \ntrailer\n<< /Size 2 /Root 1 0 R >>\n";
  return Text(body + xref + "startxref\n" + std::to_string(xrefAt ? xrefAt : body.size()) + "\n%%EOF\n");
}
Bytes PdfUpdate(const Bytes& pdf) {
  const std::string object = "2 0 obj\n<< /Title (Saved again) >>\nendobj\n";
  const std::string xref = "xref\n2 1\n" + std::string(10 - std::to_string(pdf.size()).size(), '0') +
                           std::to_string(pdf.size()) + " 00000 n \ntrailer\n<< /Size 3 /Root 1 0 R /Prev 50 >>\n";
  return Concat({pdf, Text(object + xref + "startxref\n" + std::to_string(pdf.size() + object.size()) + "\n%%EOF\n")});
}

// MPEG-1 layer III frames of 128 kbit/s at 44.1 kHz, 417 bytes each.
Bytes Mp3Frames(size_t count) {
  Bytes frame(417, 0x55);
  frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x64;
  return Concat(std::vector<Bytes>(count, frame));
}
const Bytes kId3v2 = Concat({Text("ID3"), Bytes{3, 0, 0, 0, 0, 0, 20}, Bytes(20, 0)});  // v2.3, 20 bytes of frames
const Bytes kId3v1 = Concat({Text("TAG"), Bytes(125, ' ')});

// RAR 5 blocks: CRC-32 of the header size and fields, then the fields.
Bytes Rar5Block(const Bytes& fields, const Bytes& data = {}) {
  Bytes header = Concat({Bytes{static_cast<uint8_t>(fields.size())}, fields});
  const uint32_t crc = static_cast<uint32_t>(crc32(0, header.data(), static_cast<uInt>(header.size())));
  return Concat({Bytes{uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)}, header, data});
}
const Bytes kRar5 = Concat({Text(std::string("Rar!\x1A\x07\x01\x00", 8)),
                            Rar5Block({1, 0, 0}),                                // main header
                            Rar5Block({3, 2, 100}, Bytes(100, 0x44)),            // service block with data
                            Rar5Block({5, 0, 0})});                              // end of archive
// RAR 4: marker, archive header, end of archive, each under its CRC-16.
Bytes Rar4Block(Bytes fields) {
  const uint32_t crc = static_cast<uint32_t>(crc32(0, fields.data(), static_cast<uInt>(fields.size())));
  return Concat({Bytes{uint8_t(crc), uint8_t(crc >> 8)}, fields});
}
const Bytes kRar4 = Concat({Text(std::string("Rar!\x1A\x07\x00", 7)), Rar4Block({0x73, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0}),
                            Rar4Block({0x7B, 0, 0x40, 7, 0})});

// A broadcast WAV: its "bext" chunk comes before "fmt ".
const Bytes kBroadcastWav = Concat({Text("RIFF"), Bytes{36, 2, 0, 0}, Text("WAVEbext"), Bytes{0, 2, 0, 0},
                                    Bytes(512, 0x20), Text("fmt "), Bytes{16, 0, 0, 0}, Bytes(16, 1)});

// A database of 512-byte pages whose header's page count is stale (0), so
// that its pages are followed: page 1 is an interior table b-tree whose right
// child is page `child`, and page 2 is another of right child `grandchild`,
// or an empty leaf when that is 0.
Bytes SqliteTree(uint8_t child, uint8_t grandchild) {
  Bytes db(1024, 0);
  std::memcpy(db.data(), "SQLite format 3", 16);
  db[16] = 2, db[17] = 0;                        // page size 512
  db[18] = 1, db[19] = 1;                        // legacy journal
  db[21] = 64, db[22] = 32, db[23] = 32;         // payload fractions
  db[27] = 1;                                    // change counter 1, page count 0
  db[100] = 5, db[108] = 0, db[111] = child;     // interior table, no cells, right child
  db[512] = grandchild ? 5 : 13;                 // page 2: interior or leaf table
  db[512 + 11] = grandchild;                     // its right child
  return db;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, WalkedFiles,
    ::testing::Values(WalkCase{"pdf_to_its_eof", Pdf(), kTypePdf, Pdf().size()},
                      WalkCase{"pdf_with_an_incremental_update", PdfUpdate(Pdf()), kTypePdf, PdfUpdate(Pdf()).size()},
                      WalkCase{"pdf_with_a_startxref_that_points_nowhere_cut_at_its_eof", Pdf(3), kTypePdf,
                               Pdf(3).size()},
                      WalkCase{"text_that_starts_like_a_pdf", Text("%PDF-1.7 is what the form needs. No more."), 0, 0},
                      WalkCase{"mp3_between_id3_tags", Concat({kId3v2, Mp3Frames(6), kId3v1}), kTypeMp3,
                               kId3v2.size() + 6 * 417 + 128},
                      WalkCase{"mp3_frames_alone", Mp3Frames(5), kTypeMp3, 5 * 417},
                      WalkCase{"one_mp3_frame_header", Mp3Frames(1), 0, 0},
                      WalkCase{"id3_tag_over_too_few_frames", Concat({kId3v2, Mp3Frames(2)}), 0, 0},
                      WalkCase{"rar5_to_its_end_block", kRar5, kTypeRar, kRar5.size()},
                      WalkCase{"rar5_with_a_damaged_header",
                               [] {
                                 Bytes r = kRar5;
                                 r[8] ^= 1;
                                 return r;
                               }(),
                               0, 0},
                      WalkCase{"rar4_to_its_end_block", kRar4, kTypeRar, kRar4.size()},
                      WalkCase{"broadcast_wav_with_its_extension_first", kBroadcastWav, kTypeWav,
                               kBroadcastWav.size()},
                      WalkCase{"sqlite_followed_through_its_pages", SqliteTree(2, 0), kTypeSqlite, 1024},
                      WalkCase{"sqlite_page_that_is_its_own_child", SqliteTree(2, 2), 0, 0},
                      WalkCase{"sqlite_pages_in_a_cycle", SqliteTree(2, 1), 0, 0}),
    NameFromWhat());

// A PDF whose cross-reference section cannot be found is still cut at its
// "%%EOF", and says that its end is a guess.
TEST(Pdf, EndWithoutASectionIsNotEstablished) {
  for (const auto& [pdf, established] : {std::pair{Pdf(), true}, std::pair{Pdf(3), false}}) {
    Bytes image = At(0, pdf, 8 * kSector);
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(pdf.size()), image.end(), 0x11);
    Carve c(image);
    ASSERT_EQ(c.holder.completed.size(), 1u);
    EXPECT_EQ(static_cast<CPdfFile&>(*c.holder.completed[0]).EndEstablished(), established);
  }
}

// ZIP archives built record by record.
struct ZipBuilder {
  void Local(const std::string& name, size_t dataSize) {
    Bytes h(30, 0);
    std::memcpy(h.data(), "PK\x03\x04", 4);
    Put32(h, 18, static_cast<uint32_t>(dataSize));
    Put16(h, 26, static_cast<uint16_t>(name.size()));
    Append(h);
    Append(Bytes(name.begin(), name.end()));
    Append(Bytes(dataSize, 0x33));
    names.push_back(name);
  }
  void Central(const std::string& name, uint16_t comment = 0) {
    Bytes h(46, 0);
    std::memcpy(h.data(), "PK\x01\x02", 4);
    Put16(h, 28, static_cast<uint16_t>(name.size()));
    Put16(h, 32, comment);
    Append(h);
    Append(Bytes(name.begin(), name.end()));
    Append(Bytes(comment, 'c'));
  }
  void End(uint16_t comment = 0) {
    Bytes h(22, 0);
    std::memcpy(h.data(), "PK\x05\x06", 4);
    Put16(h, 20, comment);
    Append(h);
    Append(Bytes(comment, 'e'));
  }
  Bytes Package(const std::vector<std::string>& entries, uint16_t endComment = 0) {
    for (const auto& n : entries) Local(n, 40);
    for (const auto& n : entries) Central(n);
    End(endComment);
    return bytes;
  }
  static void Put16(Bytes& b, size_t o, uint16_t v) { b[o] = v & 0xFF; b[o + 1] = v >> 8; }
  static void Put32(Bytes& b, size_t o, uint32_t v) { Put16(b, o, v & 0xFFFF); Put16(b, o + 2, v >> 16); }
  void Append(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
  Bytes bytes;
  std::vector<std::string> names;
};

struct ZipCase {
  const char* what;
  std::vector<std::string> entries;
  int32_t type;
};

// Shows the case by its description in test output.
void PrintTo(const ZipCase& c, std::ostream* os) { *os << c.what; }

class ZipKind : public ::testing::TestWithParam<ZipCase> {};

TEST_P(ZipKind, ByTheNamesOfItsCentralDirectory) {
  const Bytes zip = ZipBuilder().Package(GetParam().entries);
  Carve c(At(0, zip, 8 * kSector));
  ASSERT_EQ(c.holder.completed.size(), 1u) << GetParam().what;
  EXPECT_EQ(c.holder.completed[0]->typeCode, GetParam().type) << GetParam().what;
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), zip.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZipKind,
    ::testing::Values(ZipCase{"plain archive", {"a.txt", "b/c.bin"}, kTypeZip},
                      ZipCase{"document", {"[Content_Types].xml", "word/document.xml"}, kTypeDocx},
                      ZipCase{"workbook", {"[Content_Types].xml", "xl/workbook.xml"}, kTypeXlsx},
                      ZipCase{"presentation", {"[Content_Types].xml", "ppt/presentation.xml"}, kTypePptx},
                      ZipCase{"workbook with properties last", {"[Content_Types].xml", "xl/workbook.xml", "docProps/app.xml"}, kTypeXlsx},
                      ZipCase{"presentation with properties last", {"[Content_Types].xml", "ppt/slides/s1.xml", "docProps/core.xml"}, kTypePptx},
                      ZipCase{"package with no part folder", {"[Content_Types].xml", "docProps/core.xml"}, kTypeDocx},
                      ZipCase{"content types in another case", {"[content_types].xml", "xl/workbook.xml"}, kTypeZip}),
    NameFromWhat());

TEST(Zip, EndRecordEndingAtTheSectorEnd) {
  ZipBuilder z;
  z.Local("a", 10);
  z.Central("a");
  const size_t used = z.bytes.size() + 22;
  z.End(static_cast<uint16_t>(kSector - used));
  ASSERT_EQ(z.bytes.size(), kSector);
  Carve c(At(0, z.bytes, 4 * kSector));
  ASSERT_EQ(c.holder.completed.size(), 1u);
  EXPECT_EQ(c.holder.completed[0]->lastSector, 0u);
  EXPECT_EQ(c.holder.completed[0]->lastByteIndex, kSector - 1);
}

TEST(Zip, ArchiveCommentIntoLaterSectorsEndsAtItsLastByte) {
  const Bytes zip = ZipBuilder().Package({"a.txt"}, 1500);
  Bytes image = At(0, zip, 8 * kSector);
  image[zip.size() + 5] = 0x77;  // whatever follows the archive
  Carve c(image);
  ASSERT_EQ(c.holder.completed.size(), 1u);
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), zip.size());
}

TEST(Zip, RecordsAcrossTwoRunsAreReadFromBoth) {
  ZipBuilder z;
  z.Local("[Content_Types].xml", 400);
  z.Local("xl/workbook.xml", 30);
  z.Central("[Content_Types].xml");
  z.Central("xl/workbook.xml");
  z.End(40);
  Carve c(At(0, z.bytes, 4 * kSector), 1);
  ASSERT_EQ(c.holder.completed.size(), 1u);
  EXPECT_EQ(c.holder.completed[0]->typeCode, kTypeXlsx);
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), z.bytes.size());
}

TEST(Zip, ImpossibleNextRecordStartsNoCandidate) {
  ZipBuilder z;
  z.Local("a", 10);
  z.Append(Bytes{'X', 'X', 'X', 'X'});
  EXPECT_EQ(CZipFile::TryCreate(At(0, z.bytes, kSector), 0, kSector, nullptr), nullptr);
}

// A record that is none, after a member, cuts the archive short there: what
// was found is listed, its end not established, for its pieces to be looked for.
TEST(Zip, UnknownRecordCutsTheArchiveShort) {
  ZipBuilder z;
  z.Local("a", 600);  // the next record lies past the first sector
  const size_t member = z.bytes.size();
  z.Append(Bytes{'P', 'K', 9, 9});
  Carve c(At(0, z.bytes, 4 * kSector));
  ASSERT_EQ(c.holder.completed.size(), 1u);
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), member);
  EXPECT_FALSE(c.holder.completed[0]->EndEstablished());
  EXPECT_FALSE(c.holder.HasPending());
}

// A tag header in old bytes says its tag runs on for 104 KiB, over a picture
// that starts four sectors later; no audio frame follows the tag, so it was
// no file, and the picture it hid is found after all.
TEST(CandidateHolder, ACandidateThatProvesNoFileGivesBackTheSectorsItHeld) {
  const Bytes tag = Concat({Text("ID3"), Bytes{3, 0, 0, 0, 0x06, 0x40, 0}});  // v2.3, 106,496 bytes
  const Bytes jpeg = Jpeg(5000);
  const Bytes image = Concat({tag, OldBytes(4 * kSector - tag.size(), 21), jpeg,
                              OldBytes(260 * kSector - jpeg.size() % kSector, 22)});
  Carve c(image);
  ASSERT_EQ(c.holder.completed.size(), 1u);
  EXPECT_EQ(c.holder.completed[0]->firstSector, 4u);
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), jpeg.size());
}

// As used media leave files: old random bytes fill the rest of each file's
// sector and 4 KiB cluster, and the next file starts in the next cluster.
// Every format ends where its own structure does, whatever follows, and the
// file after it is found too.
struct NeighbourCase {
  const char* what;
  Bytes file;
  int32_t type;
  size_t length = 0;  // of the file found, when not the whole file
  bool established = true;
};

void PrintTo(const NeighbourCase& c, std::ostream* os) { *os << c.what; }

class UsedMedia : public ::testing::TestWithParam<NeighbourCase> {};

TEST_P(UsedMedia, EachFormatEndsAtItsOwnEndWithOldBytesAndAnotherFileAfterIt) {
  constexpr size_t kCluster = 4096;
  const Bytes& file = GetParam().file;
  const size_t slack = (kCluster - file.size() % kCluster) % kCluster;
  // The file after it is of another kind: a GIF, or a JPEG after a GIF.
  const Bytes next = GetParam().type == kTypeGif ? Jpeg(2000) : kGif;
  const int32_t nextType = GetParam().type == kTypeGif ? kTypeJpg : kTypeGif;
  const Bytes image = Concat({file, OldBytes(slack, 11), next, OldBytes(kCluster - next.size() % kCluster, 12),
                              OldBytes(8 * kCluster, 13)});
  Carve c(image);
  ASSERT_GE(c.holder.completed.size(), 2u) << GetParam().what;
  EXPECT_EQ(c.holder.completed[0]->typeCode, GetParam().type);
  const size_t length = GetParam().length != 0 ? GetParam().length : file.size();
  EXPECT_EQ(c.holder.completed[0]->GetLength(kSector), length) << GetParam().what;
  EXPECT_EQ(c.holder.completed[0]->EndEstablished(), GetParam().established) << GetParam().what;
  const size_t nextSector = (file.size() + slack) / kSector;
  const auto after = std::find_if(c.holder.completed.begin(), c.holder.completed.end(),
                                  [&](const auto& f) { return f->firstSector == nextSector; });
  ASSERT_NE(after, c.holder.completed.end()) << GetParam().what;
  EXPECT_EQ((*after)->typeCode, nextType);
  EXPECT_EQ((*after)->GetLength(kSector), next.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsedMedia,
    ::testing::Values(NeighbourCase{"jpeg", Jpeg(9000), kTypeJpg},
                      NeighbourCase{"progressive_jpeg", kProgressive, kTypeJpg},
                      NeighbourCase{"jpeg_with_an_exif_thumbnail", kWithThumbnail, kTypeJpg},
                      NeighbourCase{"jpeg_with_an_mpf_preview", kPreviewed, kTypeJpg},
                      NeighbourCase{"zip", ZipBuilder().Package({"a.txt", "b/c.bin"}), kTypeZip},
                      NeighbourCase{"docx", ZipBuilder().Package({"[Content_Types].xml", "word/document.xml"}), kTypeDocx},
                      NeighbourCase{"png", Png(false), kTypePng},
                      NeighbourCase{"gif", kGif, kTypeGif},
                      NeighbourCase{"tiff", Tiff(true, false), kTypeTiff},
                      NeighbourCase{"bigtiff", Tiff(false, true), kTypeTiff},
                      NeighbourCase{"psd", Psd(true), kTypePsd},
                      NeighbourCase{"mp4", kMp4, kTypeMp4},
                      NeighbourCase{"webm", kWebm, kTypeWebm},
                      NeighbourCase{"wav", kBroadcastWav, kTypeWav},
                      NeighbourCase{"gzip", kGzip, kTypeGzip},
                      NeighbourCase{"rtf", kRtf, kTypeRtf},
                      NeighbourCase{"pdf", PdfUpdate(Pdf()), kTypePdf},
                      NeighbourCase{"mp3", Concat({kId3v2, Mp3Frames(6), kId3v1}), kTypeMp3},
                      NeighbourCase{"rar5", kRar5, kTypeRar},
                      NeighbourCase{"rar4", kRar4, kTypeRar},
                      NeighbourCase{"sqlite", SqliteTree(2, 0), kTypeSqlite}),
    NameFromWhat());

// A picture after its first scan, then a frame header whose length its
// component count cannot give (a damaged file): stepped over, it would run
// on over the files after it.
const Bytes kJpegScan = Concat({Bytes{0xFF, 0xD8}, Jfif(), Segment(0xDB, 65), Segment(0xDA, 10), ScanData(3000)});
const Bytes kFalseFrame = Concat({kJpegScan, Bytes{0xFF, 0xCA, 0x81, 0xBB, 8, 0, 16, 0, 16, 3}, OldBytes(40000, 3)});

// The end chunk with a length: it holds no data whatever it says.
Bytes PngWithLongEnd() {
  Bytes png = Png(false);
  const size_t end = png.size() - 12;
  png[end] = 0x00;  // length 0x00EE0000
  png[end + 1] = 0xEE;
  return png;
}

// Two strips of 100 bytes, the first one's count running far past the second.
Bytes TiffWithOverlongStrip() {
  Bytes t = Concat({Text("II"), Field(42, 2, false), Field(8, 4, false), Field(2, 2, false)});
  Append(t, Concat({Field(0x0111, 2, false), Field(4, 2, false), Field(2, 4, false), Field(38, 4, false)}));  // offsets at 38
  Append(t, Concat({Field(0x0117, 2, false), Field(4, 2, false), Field(2, 4, false), Field(46, 4, false)}));  // counts at 46
  Append(t, Field(0, 4, false));                                              // no next directory
  Append(t, Concat({Field(54, 4, false), Field(154, 4, false)}));             // strip offsets
  Append(t, Concat({Field(1000000, 4, false), Field(100, 4, false)}));        // counts: the first one false
  Append(t, Bytes(200, 0x42));
  return t;
}

// Lengths that damaged files state falsely never hide the file after them.
INSTANTIATE_TEST_SUITE_P(
    Damaged, UsedMedia,
    ::testing::Values(NeighbourCase{"jpeg_frame_of_a_false_length", kFalseFrame, kTypeJpg, kJpegScan.size(), false},
                      NeighbourCase{"png_end_chunk_with_a_length", PngWithLongEnd(), kTypePng},
                      NeighbourCase{"tiff_strip_over_the_next_one", TiffWithOverlongStrip(), kTypeTiff}),
    NameFromWhat());

}  // namespace
