#include "app/Preview.h"

#include <algorithm>

#include "app/FileRows.h"
#include "filetypes/ZipRecords.h"
#include "platform/Text.h"

const char* const kDamagedArchiveText = "文件已经损坏";

namespace {
using namespace ziprecord;
constexpr size_t kMaxNameChars = 260;
}  // namespace

PreviewKind PreviewKindForName(const std::string& name) {
  const std::string extension = LowerExtension(name);
  // What Qt's image readers and its image-formats plugins (TIFF, WebP) show.
  static const char* const kPictures[] = {"jpg", "png", "bmp", "gif", "tif", "tiff", "webp"};
  for (const char* picture : kPictures) {
    if (extension == picture) return PreviewKind::Picture;
  }
  if (extension == "zip") return PreviewKind::ZipListing;
  return PreviewKind::Hex;
}

std::string ZipListingText(ByteSpan content) {
  if (LE32(content, 0) != kLocalHeader || content.size() < 4) return kDamagedArchiveText;
  // The first central-directory header, searched from byte 1; the walk starts
  // where the search ended, found or not.
  size_t position = 1;
  const size_t positions = content.size() - 4;
  for (size_t examined = 0; examined < positions && LE32(content, position) != kCentralHeader; ++examined) ++position;
  std::string listing;
  while (LE32(content, position) == kCentralHeader && Fits(content, position, kCentralHeaderSize)) {
    const ByteSpan h = content.subspan(position);
    const size_t nameLength = LE16(h, kCentralNameLength);
    const size_t total = kCentralHeaderSize + nameLength + LE16(h, kCentralExtraLength) + LE16(h, kCentralCommentLength);
    if (!Fits(content, position, total)) break;
    const char* raw = reinterpret_cast<const char*>(h.data() + kCentralHeaderSize);
    // Bit 11 says UTF-8; without it the name is in the code page of the system that made the archive.
    std::string name = (LE16(h, kCentralFlags) & kFlagUtf8Names) ? ValidUtf8(std::string(raw, nameLength))
                                                                    : AnsiToUtf8(raw, nameLength);
    const std::u16string wide = Utf8ToUtf16(name);
    if (wide.size() > kMaxNameChars) name = Utf16ToUtf8(wide.data(), kMaxNameChars);
    listing += name;
    // The size the member has once extracted, which is what the user will get.
    const uint32_t size = LE32(h, kCentralUncompressedSize);
    if (size != 0) listing.append("   [").append(FormatSize(size)).append("]");
    listing += "\r\n";
    position += total;
  }
  return listing;
}
