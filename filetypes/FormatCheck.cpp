#include "filetypes/FormatCheck.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "filetypes/BaseFile.h"
#include "filetypes/CarvedFormats.h"
#include "filetypes/ZipRecords.h"

namespace {

// Members are inflated up to this much in all: a small archive may claim
// members of 4 GiB each, and deflate expands a thousandfold.
constexpr uint64_t kMaxInflated = 1ull << 30;

FormatCheck Passed() { return {FormatVerdict::Passed, {}}; }
FormatCheck Failed(std::string why) { return {FormatVerdict::Failed, std::move(why)}; }
FormatCheck NoCheck(std::string why) { return {FormatVerdict::NoCheck, std::move(why)}; }

uint32_t BE32At(ByteSpan s, size_t at) {
  return Fits(s, at, 4) ? static_cast<uint32_t>(s[at]) << 24 | s[at + 1] << 16 | s[at + 2] << 8 | s[at + 3] : 0;
}

std::string Hex32(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

uint32_t Crc32(uint32_t crc, ByteSpan bytes) {
  // zlib takes at most a uInt at a time.
  for (size_t at = 0; at < bytes.size();) {
    const uInt n = static_cast<uInt>(std::min<size_t>(bytes.size() - at, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, bytes.data() + at, n));
    at += n;
  }
  return crc;
}

bool StartsWith(ByteSpan s, const char* magic, size_t n) { return s.size() >= n && std::memcmp(s.data(), magic, n) == 0; }

// One ZIP member: its data inflated, or taken as stored, against the CRC-32
// and size its central header gives.
FormatCheck CheckZipMember(ByteSpan content, ByteSpan central, size_t centralAt, uint64_t* budget) {
  using namespace ziprecord;
  const uint16_t nameLength = LE16(central, kCentralNameLength);
  const std::string name(reinterpret_cast<const char*>(central.data()) + kCentralHeaderSize,
                         std::min<size_t>(nameLength, central.size() - kCentralHeaderSize));
  const uint16_t flags = LE16(central, 8);
  const uint16_t method = LE16(central, 10);
  const uint32_t crc = LE32(central, 16);
  const uint32_t packed = LE32(central, kCentralCompressedSize);
  const uint32_t size = LE32(central, 24);
  const uint32_t local = LE32(central, 42);
  // Encrypted members, other methods and ZIP64 sizes are not checked here.
  if ((flags & 1) != 0 || (method != 0 && method != 8) || packed == 0xFFFFFFFF || size == 0xFFFFFFFF ||
      local == 0xFFFFFFFF) {
    return NoCheck("member " + name + " is encrypted, of method " + std::to_string(method) + " or ZIP64");
  }
  if (size > *budget) return NoCheck("members larger in all than the check inflates");
  *budget -= size;
  if (LE32(content, local) != kLocalHeader) {
    return Failed("member " + name + ": no local header at byte " + std::to_string(local) + " (central header at " +
                  std::to_string(centralAt) + ")");
  }
  const uint64_t data = static_cast<uint64_t>(local) + kLocalHeaderSize + LE16(content, local + kLocalNameLength) +
                        LE16(content, local + kLocalExtraLength);
  if (data + packed > content.size()) {
    return Failed("member " + name + ": its " + std::to_string(packed) + " bytes at byte " + std::to_string(data) +
                  " run past the file's end (" + std::to_string(content.size()) + ")");
  }
  const ByteSpan stored = content.subspan(static_cast<size_t>(data), packed);
  uint32_t found = 0;
  uint64_t out = 0;
  if (method == 0) {
    found = Crc32(0, stored);
    out = stored.size();
  } else {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return NoCheck("zlib cannot start");
    std::vector<uint8_t> buffer(65536);
    z.next_in = const_cast<Bytef*>(stored.data());
    z.avail_in = static_cast<uInt>(stored.size());
    int status = Z_OK;
    while (status == Z_OK) {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      status = inflate(&z, Z_NO_FLUSH);
      const size_t made = buffer.size() - z.avail_out;
      found = Crc32(found, ByteSpan(buffer.data(), made));
      out += made;
      if (status == Z_BUF_ERROR && made > 0) status = Z_OK;
      // More output than the header allows is a damaged stream, not a longer file.
      if (out > size) break;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END) {
      return Failed("member " + name + ": its deflate stream is broken after " + std::to_string(out) + " bytes" +
                    (z.msg ? std::string(" (") + z.msg + ")" : std::string()));
    }
  }
  if (out != size) {
    return Failed("member " + name + ": " + std::to_string(out) + " bytes, expected " + std::to_string(size));
  }
  if (found != crc) return Failed("member " + name + ": CRC-32 " + Hex32(found) + ", expected " + Hex32(crc));
  return Passed();
}

}  // namespace

FormatCheck CheckPngChunks(ByteSpan content) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (content.size() < 8 || std::memcmp(content.data(), kSignature, 8) != 0) return NoCheck("not a PNG");
  size_t at = 8;
  while (true) {
    if (!Fits(content, at, 12)) return Failed("the chunk at byte " + std::to_string(at) + " is cut off by the file's end");
    const uint32_t length = BE32At(content, at);
    const std::string type(reinterpret_cast<const char*>(content.data()) + at + 4, 4);
    if (length > 0x7FFFFFFF || !Fits(content, at + 8, static_cast<size_t>(length) + 4)) {
      return Failed("chunk " + type + " at byte " + std::to_string(at) + " of " + std::to_string(length) +
                    " bytes runs past the file's end");
    }
    const uint32_t stored = BE32At(content, at + 8 + length);
    const uint32_t found = Crc32(0, content.subspan(at + 4, static_cast<size_t>(length) + 4));
    if (found != stored) {
      return Failed("chunk " + type + " at byte " + std::to_string(at) + ": CRC " + Hex32(found) + ", expected " +
                    Hex32(stored));
    }
    if (type == "IEND") return Passed();
    at += 12 + static_cast<size_t>(length);
  }
}

FormatCheck CheckZipMembers(ByteSpan content) {
  using namespace ziprecord;
  if (LE32(content, 0) != kLocalHeader) return NoCheck("not a ZIP archive");
  // The end record is the last one whose comment reaches the file's end.
  if (content.size() < kEndSize) return Failed("no end of central directory");
  size_t end = content.size() - kEndSize;
  const size_t lowest = content.size() > kEndSize + 65535 ? content.size() - kEndSize - 65535 : 0;
  while (!(LE32(content, end) == kEndOfDirectory && end + kEndSize + LE16(content, end + kEndCommentLength) <= content.size())) {
    if (end == lowest) return Failed("no end of central directory in the file's last 64 KiB");
    --end;
  }
  const uint16_t count = LE16(content, end + 10);
  const uint32_t directorySize = LE32(content, end + 12);
  const uint32_t directoryAt = LE32(content, end + 16);
  if (count == 0xFFFF || directoryAt == 0xFFFFFFFF) return NoCheck("a ZIP64 archive");
  if (static_cast<uint64_t>(directoryAt) + directorySize > end) {
    return Failed("the central directory at byte " + std::to_string(directoryAt) + " of " +
                  std::to_string(directorySize) + " bytes overlaps its end record at byte " + std::to_string(end));
  }
  size_t at = directoryAt;
  bool anyChecked = false;
  uint64_t budget = kMaxInflated;
  for (uint32_t i = 0; i < count; ++i) {
    if (LE32(content, at) != kCentralHeader || !Fits(content, at, kCentralHeaderSize)) {
      return Failed("central header " + std::to_string(i + 1) + " of " + std::to_string(count) + " missing at byte " +
                    std::to_string(at));
    }
    const size_t length = kCentralHeaderSize + LE16(content, at + kCentralNameLength) +
                          LE16(content, at + kCentralExtraLength) + LE16(content, at + kCentralCommentLength);
    if (at + length > end) return Failed("central header at byte " + std::to_string(at) + " runs into the end record");
    const FormatCheck member = CheckZipMember(content, content.subspan(at, length), at, &budget);
    if (member.verdict == FormatVerdict::Failed) return member;
    anyChecked |= member.verdict == FormatVerdict::Passed;
    at += length;
  }
  return anyChecked || count == 0 ? Passed() : NoCheck("no member could be checked");
}

FormatCheck CheckCarvedStructure(ByteSpan content) {
  if (!CreateCarvedFile(content, 0, kCarvedProbeSector, nullptr)) return NoCheck("a format without a structure check");
  if (const std::unique_ptr<CBaseFile> file = WalkCarvedContent(content)) {
    const uint64_t length = file->GetLength(kCarvedProbeSector);
    // Whole as far as anyone can tell, but where it ends was guessed: not known to be intact.
    if (length <= content.size() && !file->EndEstablished() && file->EndGuessed()) {
      return NoCheck("its end is a guess: no cross-reference section vouches for its last %%EOF");
    }
    // Cut short: its structure broke off there, and the rest was not found.
    if (length <= content.size() && !file->EndEstablished()) {
      return Failed("its structure breaks off at byte " + std::to_string(length) + ": the rest of it was not found");
    }
    if (length <= content.size()) return Passed();
    return Failed("its structure needs " + std::to_string(length) + " bytes, the file has " +
                  std::to_string(content.size()));
  }
  return Failed("its structure breaks off before its end");
}

FormatCheck CheckFileFormat(ByteSpan content) {
  if (content.empty()) return NoCheck("an empty file");
  // The checks of a picture's or an archive's content come first: they say
  // more than its outline does.
  FormatCheck deep = NoCheck({});
  if (StartsWith(content, "\xFF\xD8\xFF", 3)) {
    deep = CheckJpegData(content);
  } else if (StartsWith(content, "\x89PNG", 4)) {
    deep = CheckPngChunks(content);
  } else if (StartsWith(content, "PK\x03\x04", 4)) {
    deep = CheckZipMembers(content);
  }
  if (deep.verdict == FormatVerdict::Failed) return deep;
  // Without a decoder a JPEG's outline says nothing of its entropy-coded data.
  if (deep.verdict == FormatVerdict::NoCheck && StartsWith(content, "\xFF\xD8\xFF", 3)) return deep;
  // A picture decoded whole, or whose every chunk checked, needs no outline:
  // the carver's would take data after the end (a camera's trailer) for damage.
  if (deep.verdict == FormatVerdict::Passed && !StartsWith(content, "PK", 2)) return deep;
  const FormatCheck outline = CheckCarvedStructure(content);
  if (outline.verdict == FormatVerdict::Failed) return outline;
  if (deep.verdict == FormatVerdict::Passed || outline.verdict == FormatVerdict::Passed) return Passed();
  return deep.why.empty() ? outline : deep;
}
