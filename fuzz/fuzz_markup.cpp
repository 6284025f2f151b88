// The mark-up tokenizer and renderer over the recording device context: the
// input is the text (UTF-16) after one byte choosing the flags and width.
#include "support/RecordingDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static constexpr uint32_t kFlags[] = {0, kDtWordBreak, kDtSingleLine, kDtCalcRect | kDtWordBreak,
                                        kDtCalcRect, kDtWordBreak | kDtCenter, kDtBottom, kDtRight};
  const uint32_t flags = kFlags[data[0] & 7];
  const int width = (data[0] >> 3) * 16;
  std::u16string text((size - 1) / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[1 + 2 * i] | data[2 + 2 * i] << 8);
  CRecordingDevice dc;
  MarkupRect rect{5, (data[0] & 0x80) ? -400 : 7, 5 + width, 300};
  DrawMarkupText(&dc, text, (data[0] & 0x40) ? nullptr : &rect, flags);
  if (dc.saves != dc.restores) __builtin_trap();
  return 0;
}
