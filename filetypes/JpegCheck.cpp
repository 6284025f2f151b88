#include "filetypes/FormatCheck.h"

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

#else

bool CanDecodeJpeg() { return false; }

FormatCheck CheckJpegData(ByteSpan) { return {FormatVerdict::NoCheck, "this build cannot decode JPEG"}; }

#endif
