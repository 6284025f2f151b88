#include "filetypes/CarvedFormats.h"

#include <array>
#include <bitset>
#include <cstdio>
#include <vector>

#include "filetypes/AudioFiles.h"
#include "filetypes/BmpFile.h"
#include "filetypes/DocumentFiles.h"
#include "filetypes/JPGFile.h"
#include "filetypes/MediaFiles.h"
#include "filetypes/PieceSearch.h"
#include "filetypes/RarFile.h"
#include "filetypes/SqliteFile.h"
#include "filetypes/StreamFiles.h"
#include "filetypes/TiffFile.h"
#include "filetypes/ZipFile.h"

namespace {

using namespace std::string_view_literals;

constexpr SignatureStart kJpegStarts[] = {{0, "\xFF\xD8\xFF"sv}};
constexpr SignatureStart kZipStarts[] = {{0, "PK\x03\x04"sv}};
constexpr SignatureStart kBmpStarts[] = {{0, "BM"sv}, {0, "BA"sv}};
constexpr SignatureStart kTiffStarts[] = {{0, "II\x2A\x00"sv}, {0, "MM\x00\x2A"sv}, {0, "II\x2B\x00"sv}, {0, "MM\x00\x2B"sv},
                                          {0, "IIRO"sv},        {0, "IIRS"sv},        {0, "IIU\x00"sv},
                                          {0, "FUJIFILMCCD-RAW "sv}};
constexpr SignatureStart kPngStarts[] = {{0, "\x89PNG"sv}};
constexpr SignatureStart kGifStarts[] = {{0, "GIF8"sv}};
constexpr SignatureStart kRiffStarts[] = {{0, "RIFF"sv}};
constexpr SignatureStart kIsoMediaStarts[] = {{4, "ftyp"sv}};
constexpr SignatureStart kMatroskaStarts[] = {{0, "\x1A\x45\xDF\xA3"sv}};
constexpr SignatureStart k7zStarts[] = {{0, "7z\xBC\xAF\x27\x1C"sv}};
constexpr SignatureStart kSqliteStarts[] = {{0, "SQLite format 3"sv}};
constexpr SignatureStart kGzipStarts[] = {{0, "\x1F\x8B\x08"sv}};
constexpr SignatureStart kRtfStarts[] = {{0, "{\\rtf"sv}};
constexpr SignatureStart kOggStarts[] = {{0, "OggS"sv}};
constexpr SignatureStart kPdfStarts[] = {{0, "%PDF-"sv}};
constexpr SignatureStart kCompoundStarts[] = {{0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv}};
constexpr SignatureStart kMp3Starts[] = {{0, "ID3"sv}, {0, "\xFF"sv}};
constexpr SignatureStart kFlacStarts[] = {{0, "fLaC"sv}};
constexpr SignatureStart kRarStarts[] = {{0, "Rar!\x1A\x07"sv}};
constexpr SignatureStart kPsdStarts[] = {{0, "8BPS"sv}};

constexpr CarvedKind kJpegKinds[] = {{kTypeJpg, "JPG", "pic%llu.jpg", kImageJpg, PreviewKind::Picture}};
constexpr CarvedKind kZipKinds[] = {
    {kTypeZip, "ZIP", "Zip%llu.ZIP", kImageArchive, PreviewKind::ZipListing},
    {kTypeDocx, "word", "word%llu.docx", kImageOther, PreviewKind::Hex},
    {kTypeXlsx, "xlsx", "ID_XLSX%llu.xlsx", kImageOther, PreviewKind::Hex},
    {kTypePptx, "ppt", "ppt%llu.pptx", kImageOther, PreviewKind::Hex},
    {kTypeOdt, "ODT", "doc%llu.odt", kImageOther, PreviewKind::ZipListing},
    {kTypeOds, "ODS", "sheet%llu.ods", kImageOther, PreviewKind::ZipListing},
    {kTypeOdp, "ODP", "slides%llu.odp", kImageOther, PreviewKind::ZipListing},
    {kTypeEpub, "EPUB", "book%llu.epub", kImageOther, PreviewKind::ZipListing},
    {kTypeJar, "JAR", "archive%llu.jar", kImageArchive, PreviewKind::ZipListing},
    {kTypeApk, "APK", "app%llu.apk", kImageArchive, PreviewKind::ZipListing},
};
constexpr CarvedKind kBmpKinds[] = {{kTypeBmp, "BMP", "pic%llu.bmp", kImageBmp, PreviewKind::Picture}};
constexpr CarvedKind kPngKinds[] = {{kTypePng, "PNG", "pic%llu.png", kImageJpg, PreviewKind::Picture}};
constexpr CarvedKind kGifKinds[] = {{kTypeGif, "GIF", "pic%llu.gif", kImageJpg, PreviewKind::Picture}};
constexpr CarvedKind kRiffKinds[] = {
    {kTypeWebp, "WebP", "pic%llu.webp", kImageJpg, PreviewKind::Picture},
    {kTypeAvi, "AVI", "video%llu.avi", kImageOther, PreviewKind::Hex},
    {kTypeWav, "WAV", "audio%llu.wav", kImageOther, PreviewKind::Hex},
};
constexpr CarvedKind kIsoMediaKinds[] = {
    {kTypeMp4, "MP4", "video%llu.mp4", kImageOther, PreviewKind::Hex},
    {kTypeMov, "MOV", "video%llu.mov", kImageOther, PreviewKind::Hex},
    {kType3gp, "3GP", "video%llu.3gp", kImageOther, PreviewKind::Hex},
    {kTypeM4v, "M4V", "video%llu.m4v", kImageOther, PreviewKind::Hex},
    {kTypeHeic, "HEIC", "pic%llu.heic", kImageJpg, PreviewKind::Hex},
    {kTypeAvif, "AVIF", "pic%llu.avif", kImageJpg, PreviewKind::Hex},
    {kTypeM4a, "M4A", "audio%llu.m4a", kImageOther, PreviewKind::Hex},
};
constexpr CarvedKind k7zKinds[] = {{kType7z, "7z", "archive%llu.7z", kImageArchive, PreviewKind::Hex}};
constexpr CarvedKind kSqliteKinds[] = {{kTypeSqlite, "SQLite", "db%llu.sqlite", kImageOther, PreviewKind::Hex}};
constexpr CarvedKind kGzipKinds[] = {{kTypeGzip, "GZ", "archive%llu.gz", kImageArchive, PreviewKind::Hex}};
constexpr CarvedKind kRtfKinds[] = {{kTypeRtf, "RTF", "doc%llu.rtf", kImageOther, PreviewKind::Hex}};
constexpr CarvedKind kOggKinds[] = {{kTypeOgg, "Ogg", "audio%llu.ogg", kImageOther, PreviewKind::Hex}};
constexpr CarvedKind kPdfKinds[] = {{kTypePdf, "PDF", "doc%llu.pdf", kImageOther, PreviewKind::Hex}};
constexpr CarvedKind kCompoundKinds[] = {
    {kTypeDoc, "DOC", "doc%llu.doc", kImageOther, PreviewKind::Hex},
    {kTypeXls, "XLS", "sheet%llu.xls", kImageOther, PreviewKind::Hex},
    {kTypePpt, "PPT97", "slides%llu.ppt", kImageOther, PreviewKind::Hex},
    {kTypeMsg, "MSG", "mail%llu.msg", kImageOther, PreviewKind::Hex},
    {kTypeOle, "OLE", "file%llu.ole", kImageOther, PreviewKind::Hex},
};
constexpr CarvedKind kMp3Kinds[] = {{kTypeMp3, "MP3", "audio%llu.mp3", kImageOther, PreviewKind::Hex}};
constexpr CarvedKind kFlacKinds[] = {{kTypeFlac, "FLAC", "audio%llu.flac", kImageOther, PreviewKind::Hex}};
constexpr CarvedKind kPsdKinds[] = {{kTypePsd, "PSD", "pic%llu.psd", kImageJpg, PreviewKind::Hex}};
constexpr CarvedKind kRarKinds[] = {{kTypeRar, "RAR", "archive%llu.rar", kImageArchive, PreviewKind::Hex}};
constexpr CarvedKind kTiffKinds[] = {
    {kTypeTiff, "TIFF", "pic%llu.tif", kImageJpg, PreviewKind::Picture},
    {kTypeRaw, "RAW", "pic%llu.raw", kImageJpg, PreviewKind::Hex},
};
constexpr CarvedKind kMatroskaKinds[] = {
    {kTypeMkv, "MKV", "video%llu.mkv", kImageOther, PreviewKind::Hex},
    {kTypeWebm, "WebM", "video%llu.webm", kImageOther, PreviewKind::Hex},
};

std::unique_ptr<CBaseFile> CreateJpeg(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  return CJPGFile::TryCreate(data, sector, access);
}

// JPEG, ZIP and BMP starts come first; a TIFF header only where none of them is.
const CarvedFormat kFormats[] = {
    {"JPEG", kJpegStarts, &CreateJpeg, kJpegKinds, &kJpegJoiner},
    {"ZIP", kZipStarts, &CZipFile::TryCreate, kZipKinds, &kZipJoiner},
    {"BMP", kBmpStarts, &CBmpFile::TryCreate, kBmpKinds},
    {"PNG", kPngStarts, &CPngFile::TryCreate, kPngKinds, &kPngJoiner},
    {"GIF", kGifStarts, &CGifFile::TryCreate, kGifKinds},
    {"RIFF", kRiffStarts, &CRiffFile::TryCreate, kRiffKinds},
    {"ISO base media", kIsoMediaStarts, &CIsoMediaFile::TryCreate, kIsoMediaKinds},
    {"Matroska", kMatroskaStarts, &CMatroskaFile::TryCreate, kMatroskaKinds},
    {"7z", k7zStarts, &C7zFile::TryCreate, k7zKinds},
    {"SQLite", kSqliteStarts, &CSqliteFile::TryCreate, kSqliteKinds},
    {"GZIP", kGzipStarts, &CGzipFile::TryCreate, kGzipKinds},
    {"RTF", kRtfStarts, &CRtfFile::TryCreate, kRtfKinds},
    {"Ogg", kOggStarts, &COggFile::TryCreate, kOggKinds},
    {"PDF", kPdfStarts, &CPdfFile::TryCreate, kPdfKinds},
    {"Compound file", kCompoundStarts, &CCompoundFile::TryCreate, kCompoundKinds},
    {"FLAC", kFlacStarts, &CFlacFile::TryCreate, kFlacKinds},
    {"RAR", kRarStarts, &CRarFile::TryCreate, kRarKinds},
    {"PSD", kPsdStarts, &CPsdFile::TryCreate, kPsdKinds},
    {"MP3", kMp3Starts, &CMp3File::TryCreate, kMp3Kinds},
    {"TIFF", kTiffStarts, &CreateTiffOrRaf, kTiffKinds},
};

// The bytes that may begin a start, by offset: most sectors are turned away
// by one look-up per offset in use.
class StartFilter {
 public:
  StartFilter() {
    for (const CarvedFormat& format : kFormats) {
      for (const SignatureStart& start : format.starts) Allow(start.offset, static_cast<uint8_t>(start.bytes[0]));
    }
  }
  bool MayStart(ByteSpan data) const {
    for (const Column& column : m_columns) {
      if (column.offset < data.size() && column.bytes.test(data[column.offset])) return true;
    }
    return false;
  }

 private:
  struct Column {
    uint32_t offset;
    std::bitset<256> bytes;
  };
  void Allow(uint32_t offset, uint8_t byte) {
    for (Column& column : m_columns) {
      if (column.offset == offset) {
        column.bytes.set(byte);
        return;
      }
    }
    m_columns.push_back(Column{offset, {}});
    m_columns.back().bytes.set(byte);
  }
  std::vector<Column> m_columns;
};

bool HoldsStart(ByteSpan data, const SignatureStart& start) {
  return start.offset <= data.size() && data.size() - start.offset >= start.bytes.size() &&
         std::equal(start.bytes.begin(), start.bytes.end(), data.begin() + start.offset,
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

}  // namespace

std::span<const CarvedFormat> CarvedFormatTable() { return kFormats; }

const CarvedKind* FindCarvedKind(int32_t typeCode) {
  for (const CarvedFormat& format : kFormats) {
    for (const CarvedKind& kind : format.kinds) {
      if (kind.typeCode == typeCode) return &kind;
    }
  }
  return nullptr;
}

const PieceJoiner* FindPieceJoiner(int32_t typeCode) {
  for (const CarvedFormat& format : kFormats) {
    for (const CarvedKind& kind : format.kinds) {
      if (kind.typeCode == typeCode) return format.joiner;
    }
  }
  return nullptr;
}

std::string CarvedFileName(int32_t typeCode, uint64_t firstSector, const char* extension) {
  const CarvedKind* kind = FindCarvedKind(typeCode);
  if (kind == nullptr) return "";
  char name[96];
  std::snprintf(name, sizeof name, kind->namePattern, static_cast<unsigned long long>(firstSector));
  std::string text = name;
  if (extension != nullptr && *extension != '\0') text = text.substr(0, text.rfind('.') + 1) + extension;
  return text;
}

const char* TypeFolderName(int32_t typeCode) {
  const CarvedKind* kind = FindCarvedKind(typeCode);
  return kind ? kind->folder : "";
}

std::unique_ptr<CBaseFile> CreateCarvedFile(ByteSpan sector, uint64_t firstSector, uint32_t bytesPerSector,
                                            CVolumeAccess* access) {
  static const StartFilter filter;
  if (!filter.MayStart(sector)) return nullptr;
  for (const CarvedFormat& format : kFormats) {
    for (const SignatureStart& start : format.starts) {
      if (!HoldsStart(sector, start)) continue;
      if (auto file = format.create(sector, firstSector, bytesPerSector, access)) return file;
      break;
    }
  }
  return nullptr;
}

std::unique_ptr<CBaseFile> WalkCarvedContent(ByteSpan content) {
  // The analysers read whole sectors: the last one is filled up with zeros.
  std::vector<uint8_t> padded(content.begin(), content.end());
  padded.resize((content.size() + kCarvedProbeSector - 1) / kCarvedProbeSector * kCarvedProbeSector, 0);
  if (padded.empty()) return nullptr;
  CandidateHolder holder(kCarvedProbeSector, nullptr);
  holder.runLimitSector = padded.size() / kCarvedProbeSector - 1;
  holder.BeginRun(ByteSpan(padded), false);
  for (size_t at = 0; at < padded.size(); at += kCarvedProbeSector) holder.Offer(at, at / kCarvedProbeSector);
  holder.EndRun();
  for (auto& file : holder.completed) {
    if (file->firstSector == 0) return std::move(file);
  }
  return nullptr;
}

int32_t CarvedTypeOfContent(ByteSpan content) {
  const std::unique_ptr<CBaseFile> file = WalkCarvedContent(content);
  return file ? file->typeCode : 0;
}
