#include "app/Preview.h"

#include <algorithm>

#include "app/FileRows.h"
#include "platform/Text.h"

const char* const kDamagedArchiveText = "文件已经损坏";

namespace {
constexpr uint32_t kLocalHeader = 0x04034B50;
constexpr uint32_t kCentralHeader = 0x02014B50;
// Central-directory file header offsets.
constexpr size_t kCompressedSize = 20;
constexpr size_t kNameLength = 28;
constexpr size_t kExtraLength = 30;
constexpr size_t kCommentLength = 32;
constexpr size_t kHeaderSize = 46;
constexpr size_t kMaxNameChars = 260;
}  // namespace

PreviewKind PreviewKindForName(const std::string& name) {
  const size_t dot = name.rfind('.');
  const std::string extension = Utf8ToLower(dot == std::string::npos ? name : name.substr(dot + 1));
  if (extension == "jpg" || extension == "png" || extension == "bmp" || extension == "gif") return PreviewKind::Picture;
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
  while (LE32(content, position) == kCentralHeader && Fits(content, position, kHeaderSize)) {
    const ByteSpan h = content.subspan(position);
    const size_t nameLength = LE16(h, kNameLength);
    const size_t total = kHeaderSize + nameLength + LE16(h, kExtraLength) + LE16(h, kCommentLength);
    if (!Fits(content, position, total)) break;
    std::string name = AnsiToUtf8(reinterpret_cast<const char*>(h.data() + kHeaderSize), nameLength);
    const std::u16string wide = Utf8ToUtf16(name);
    if (wide.size() > kMaxNameChars) name = Utf16ToUtf8(wide.data(), kMaxNameChars);
    listing += name;
    const uint32_t compressed = LE32(h, kCompressedSize);
    if (compressed != 0) listing += "   [" + FormatSize(compressed) + "]";
    listing += "\r\n";
    position += total;
  }
  return listing;
}
