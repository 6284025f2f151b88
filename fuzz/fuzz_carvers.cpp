// The candidate holder with every analyser over random run buffers; the input
// is split into two touching runs, so that records straddling them are read
// through the carried end of the first.
#include "filetypes/BaseFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kSector = 512;
  if (size < 1) return 0;
  const size_t split = (data[0] % 8) * kSector;
  const std::vector<uint8_t> bytes(data + 1, data + size);
  CandidateHolder holder(kSector, nullptr);
  uint32_t sector = 100;
  for (size_t start = 0; start < bytes.size();) {
    const size_t end = start == 0 && split != 0 ? std::min(split, bytes.size()) : bytes.size();
    const ByteSpan run(bytes.data() + start, end - start);
    holder.BeginRun(run, true);
    for (size_t at = 0; at + kSector <= run.size(); at += kSector) holder.Offer(at, sector++);
    holder.EndRun();
    start = end;
  }
  for (const auto& file : holder.completed) {
    if (file->GetLength(kSector) == 0) __builtin_trap();
  }
  return 0;
}
