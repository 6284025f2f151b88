#include "filetypes/FormatCheck.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#ifdef MAROVI_HAVE_JPEG

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

constexpr long kMaxDecoderMemory = 256L << 20;

// libjpeg reports through these: a fatal error jumps back, a warning (what
// it says of corrupt entropy-coded data or a missing end) is kept.
struct CheckErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char first[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
  auto* errors = reinterpret_cast<CheckErrors*>(info->err);
  (*info->err->format_message)(info, errors->first);
  std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<CheckErrors*>(info->err);
  if (level >= 0) return;  // trace messages
  if (errors->manager.num_warnings++ == 0) (*info->err->format_message)(info, errors->first);
}

// Decodes the image at an eighth of its size, which still reads every
// entropy-coded byte; true when libjpeg warned of nothing.
bool DecodeQuietly(ByteSpan content, CheckErrors* errors, jpeg_decompress_struct* info) {
  if (setjmp(errors->jump) != 0) return false;
  jpeg_mem_src(info, content.data(), static_cast<unsigned long>(content.size()));
  jpeg_read_header(info, TRUE);
  info->scale_num = 1;
  info->scale_denom = 8;
  info->dct_method = JDCT_IFAST;
  info->do_fancy_upsampling = FALSE;
  jpeg_start_decompress(info);
  const JDIMENSION stride = info->output_width * static_cast<JDIMENSION>(info->output_components);
  JSAMPARRAY row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, stride, 1);
  while (info->output_scanline < info->output_height) jpeg_read_scanlines(info, row, 1);
  jpeg_finish_decompress(info);
  return errors->manager.num_warnings == 0;
}

// What the probe keeps of a decode: where the source stood after each row,
// and the first warning's place.
struct ProbeErrors {
  CheckErrors errors;
  const jpeg_decompress_struct* info = nullptr;
  size_t size = 0;
  uint64_t firstWarningAt = 0;
};

uint64_t Consumed(const jpeg_decompress_struct& info, size_t size) { return size - info.src->bytes_in_buffer; }

void OnProbeMessage(j_common_ptr info, int level) {
  auto* probe = reinterpret_cast<ProbeErrors*>(info->err);
  if (level >= 0) return;
  if (probe->errors.manager.num_warnings++ != 0) return;
  probe->firstWarningAt = Consumed(*probe->info, probe->size);
}

// Mean difference between a row of the picture and the row above it.
double RowChange(const uint8_t* above, const uint8_t* row, size_t width) {
  uint64_t sum = 0;
  for (size_t x = 0; x < width; ++x) sum += static_cast<uint64_t>(std::abs(int{row[x]} - int{above[x]}));
  return width == 0 ? 0.0 : static_cast<double>(sum) / static_cast<double>(width);
}

// Rows that break sharply with the rows above them: where decoding went on
// in data that is not this picture's (or the picture has an edge).
std::vector<size_t> BrokenRows(const std::vector<double>& change) {
  constexpr size_t kHistory = 12;
  std::vector<size_t> broken;
  for (size_t r = 3; r < change.size(); ++r) {
    std::vector<double> before(change.begin() + static_cast<std::ptrdiff_t>(r > kHistory ? r - kHistory : 1),
                               change.begin() + static_cast<std::ptrdiff_t>(r));
    std::nth_element(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(before.size() / 2), before.end());
    const double median = before[before.size() / 2];
    if (change[r] > 4.0 * median + 40.0) broken.push_back(r);
  }
  return broken;
}

bool DecodeRows(ByteSpan content, ProbeErrors* probe, jpeg_decompress_struct* info, std::vector<uint64_t>* rowEnds,
                std::vector<double>* change, std::vector<uint8_t>* pixels, uint32_t* width, bool* progressive) {
  if (setjmp(probe->errors.jump) != 0) return false;
  jpeg_mem_src(info, content.data(), static_cast<unsigned long>(content.size()));
  jpeg_read_header(info, TRUE);
  *progressive = jpeg_has_multiple_scans(info);
  info->scale_num = 1;
  info->scale_denom = 8;
  info->out_color_space = JCS_GRAYSCALE;
  info->dct_method = JDCT_IFAST;
  info->do_fancy_upsampling = FALSE;
  jpeg_start_decompress(info);
  const JDIMENSION stride = info->output_width * static_cast<JDIMENSION>(info->output_components);
  JSAMPARRAY row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, stride, 1);
  // Rows go straight into the caller's buffers: an error jumps back past
  // this frame, which must own nothing.
  *width = stride;
  while (info->output_scanline < info->output_height) {
    jpeg_read_scanlines(info, row, 1);
    rowEnds->push_back(Consumed(*info, content.size()));
    pixels->insert(pixels->end(), row[0], row[0] + stride);
    const size_t n = pixels->size();
    change->push_back(n >= 2 * static_cast<size_t>(stride)
                          ? RowChange(pixels->data() + n - 2 * stride, pixels->data() + n - stride, stride)
                          : 0.0);
  }
  jpeg_finish_decompress(info);
  return true;
}

}  // namespace

bool CanDecodeJpeg() { return true; }

FormatCheck CheckJpegData(ByteSpan content) {
  CheckErrors errors{};
  jpeg_decompress_struct info{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnError;
  errors.manager.emit_message = OnMessage;
  jpeg_create_decompress(&info);
  // A header may claim 65500 x 65500 progressive pixels: past this, libjpeg
  // stops with an error rather than allocate what the header asks for.
  info.mem->max_memory_to_use = kMaxDecoderMemory;
  const bool clean = DecodeQuietly(content, &errors, &info);
  jpeg_destroy_decompress(&info);
  if (clean) return {FormatVerdict::Passed, {}};
  return {FormatVerdict::Failed, std::string("the JPEG decoder says: ") + errors.first};
}

JpegProbe ProbeJpeg(ByteSpan content) {
  ProbeErrors probe{};
  jpeg_decompress_struct info{};
  probe.info = &info;
  probe.size = content.size();
  info.err = jpeg_std_error(&probe.errors.manager);
  probe.errors.manager.error_exit = OnError;
  probe.errors.manager.emit_message = OnProbeMessage;
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kMaxDecoderMemory;
  std::vector<uint64_t> rowEnds;
  std::vector<double> change;
  std::vector<uint8_t> pixels;
  uint32_t width = 0;
  bool progressive = false;
  const bool finished = DecodeRows(content, &probe, &info, &rowEnds, &change, &pixels, &width, &progressive);
  jpeg_destroy_decompress(&info);

  JpegProbe result;
  result.decoded = !rowEnds.empty();
  result.clean = finished && probe.errors.manager.num_warnings == 0;
  result.badAt = content.size();
  if (probe.errors.manager.num_warnings != 0) result.badAt = probe.firstWarningAt;
  if (!finished && probe.errors.manager.num_warnings == 0) result.badAt = rowEnds.empty() ? 0 : rowEnds.back();
  // A progressive picture's rows come after all its data is read: they say
  // nothing of where in the data it broke.
  if (!progressive) {
    const std::vector<size_t> broken = BrokenRows(change);
    if (!broken.empty()) result.badAt = std::min<uint64_t>(result.badAt, rowEnds[broken[0]]);
  }
  // Rows that ended before trouble showed, less one: data of the row before
  // a break may already be another's.
  size_t good = 0;
  while (good < rowEnds.size() && rowEnds[good] < result.badAt) ++good;
  result.goodUntil = good >= 2 && !progressive ? rowEnds[good - 2] : 0;
  result.rowEnds = std::move(rowEnds);
  if (!progressive) {
    result.pixels = std::move(pixels);
    result.width = width;
  }
  return result;
}

#else

bool CanDecodeJpeg() { return false; }

FormatCheck CheckJpegData(ByteSpan) { return {FormatVerdict::NoCheck, "this build cannot decode JPEG"}; }

JpegProbe ProbeJpeg(ByteSpan content) {
  JpegProbe result;
  result.badAt = content.size();
  return result;
}

#endif

double JoinChange(const JpegProbe& before, const JpegProbe& joined) {
  const size_t w = joined.width;
  if (w == 0 || before.width != w) return kJoinChangeUnknown;
  const size_t n = std::min(before.pixels.size(), joined.pixels.size());
  size_t first = 0;
  while (first < n && before.pixels[first] == joined.pixels[first]) ++first;
  // A join in the first row has no row above to go on from.
  if (first < w && first < n) return 0.0;
  if (first < w || first + w > joined.pixels.size()) return kJoinChangeUnknown;
  uint64_t after = 0, above = 0;
  for (size_t j = first; j < first + w; ++j) after += static_cast<uint64_t>(std::abs(joined.pixels[j] - joined.pixels[j - w]));
  // The same measure over the rows above the join, where both agree.
  const size_t from = first >= 4 * w ? first - 3 * w : w;
  size_t counted = 0;
  for (size_t j = from; j < first; ++j, ++counted) above += static_cast<uint64_t>(std::abs(joined.pixels[j] - joined.pixels[j - w]));
  const double typical = counted ? static_cast<double>(above) / static_cast<double>(counted) : 0.0;
  return std::abs(static_cast<double>(after) / static_cast<double>(w) - typical);
}
