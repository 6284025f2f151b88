#include "filetypes/CarvedFormats.h"

#include <array>
#include <bitset>
#include <cstdio>
#include <vector>

#include "filetypes/BmpFile.h"
#include "filetypes/JPGFile.h"
#include "filetypes/ZipFile.h"

namespace {

using namespace std::string_view_literals;

constexpr SignatureStart kJpegStarts[] = {{0, "\xFF\xD8\xFF"sv}};
constexpr SignatureStart kZipStarts[] = {{0, "PK\x03\x04"sv}};
constexpr SignatureStart kBmpStarts[] = {{0, "BM"sv}};
constexpr SignatureStart kTiffStarts[] = {{0, "II\x2A\x00"sv}, {0, "MM\x00\x2A"sv}};

constexpr CarvedKind kJpegKinds[] = {{kTypeJpg, "JPG", "pic%llu.jpg", kImageJpg, PreviewKind::Picture}};
constexpr CarvedKind kZipKinds[] = {
    {kTypeZip, "ZIP", "Zip%llu.ZIP", kImageArchive, PreviewKind::ZipListing},
    {kTypeDocx, "word", "word%llu.docx", kImageOther, PreviewKind::Hex},
    {kTypeXlsx, "xlsx", "ID_XLSX%llu.xlsx", kImageOther, PreviewKind::Hex},
    {kTypePptx, "ppt", "ppt%llu.pptx", kImageOther, PreviewKind::Hex},
};
constexpr CarvedKind kBmpKinds[] = {{kTypeBmp, "BMP", "pic%llu.bmp", kImageBmp, PreviewKind::Picture}};

std::unique_ptr<CBaseFile> CreateJpeg(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  return CJPGFile::TryCreate(data, sector, access);
}
std::unique_ptr<CBaseFile> CreateTiff(ByteSpan data, uint64_t sector, uint32_t, CVolumeAccess* access) {
  return CTiffFile::TryCreate(data, sector, access);
}

// JPEG, ZIP and BMP starts come first; a TIFF header only where none of them is.
const CarvedFormat kFormats[] = {
    {"JPEG", kJpegStarts, &CreateJpeg, kJpegKinds},
    {"ZIP", kZipStarts, &CZipFile::TryCreate, kZipKinds},
    {"BMP", kBmpStarts, &CBmpFile::TryCreate, kBmpKinds},
    {"TIFF", kTiffStarts, &CreateTiff, {}},
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

std::string CarvedFileName(int32_t typeCode, uint64_t firstSector) {
  const CarvedKind* kind = FindCarvedKind(typeCode);
  if (kind == nullptr) return "";
  char name[96];
  std::snprintf(name, sizeof name, kind->namePattern, static_cast<unsigned long long>(firstSector));
  return name;
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
