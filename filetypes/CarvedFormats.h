#pragma once
// The carved formats, in one table. An entry says how a file of the format
// starts (bytes at an offset of the sector), which analyser follows it to its
// end, and, for each type code that analyser can end with, the type folder,
// the name pattern, the file list's icon and the preview. The signature
// scan, the results tree, the file list and the preview all read this table.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/ByteOrder.h"

class CBaseFile;
class CVolumeAccess;
struct PieceJoiner;

// Image indices of the file list's image list.
enum FileImage : int { kImageOther = 0, kImageFatFile = 1, kImageArchive = 2, kImageJpg = 3, kImageBmp = 4 };

enum class PreviewKind { Picture, ZipListing, Hex };

// What a completed carved file is, by its type code.
struct CarvedKind {
  int32_t typeCode;
  const char* folder;       // the type folder under "按类型分类的文件"
  const char* namePattern;  // printf pattern taking the first sector as unsigned long long
  FileImage icon;
  PreviewKind preview;
};

// Bytes that a file of the format holds at an offset of its first sector.
struct SignatureStart {
  uint32_t offset;
  std::string_view bytes;
};

using CarvedFactory = std::unique_ptr<CBaseFile> (*)(ByteSpan sector, uint64_t firstSector, uint32_t bytesPerSector,
                                                      CVolumeAccess* access);

struct CarvedFormat {
  const char* name;
  std::span<const SignatureStart> starts;
  // Checks the start further and makes the analyser; null when it is no such file.
  CarvedFactory create;
  // The type codes the analyser ends with; none for a format followed only
  // so that its bytes are not taken for another's start.
  std::span<const CarvedKind> kinds;
  // Looks for the rest of a file whose structure broke; null for a format
  // whose files are not put together from pieces.
  const PieceJoiner* joiner = nullptr;
};

// In the order starts are tried: the first analyser that accepts a sector wins.
std::span<const CarvedFormat> CarvedFormatTable();

// The kind of a type code; null for a code no format ends with.
const CarvedKind* FindCarvedKind(int32_t typeCode);
// The joiner of the format a type code belongs to; null for none.
const PieceJoiner* FindPieceJoiner(int32_t typeCode);
// Name of a carved file of a type found at a sector ("pic%u.jpg" ...), with
// the file's own extension when it gives one; empty for an unknown type.
std::string CarvedFileName(int32_t typeCode, uint64_t firstSector, const char* extension = nullptr);
// The type folder of a type code; empty for an unknown type.
const char* TypeFolderName(int32_t typeCode);

// The first analyser whose start the bytes at the sector hold.
std::unique_ptr<CBaseFile> CreateCarvedFile(ByteSpan sector, uint64_t firstSector, uint32_t bytesPerSector,
                                            CVolumeAccess* access);

// The content of one file walked by the analysers as if it lay in free space
// from sector 0 (sectors of kCarvedProbeSector bytes): the file they find
// starting there, or null.
constexpr uint32_t kCarvedProbeSector = 512;
std::unique_ptr<CBaseFile> WalkCarvedContent(ByteSpan content);
// The type code the analysers give that file; 0 for none.
int32_t CarvedTypeOfContent(ByteSpan content);
