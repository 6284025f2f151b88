#include "ntfs/DataRuns.h"

namespace {
// Reads a little-endian field of 1 to 8 bytes; signed fields extend their top bit.
uint64_t ReadField(ByteSpan s, size_t pos, unsigned bytes, bool isSigned) {
  uint64_t value = 0;
  if (isSigned && bytes > 0 && (s[pos + bytes - 1] & 0x80)) value = ~0ULL;
  for (unsigned i = 0; i < bytes; ++i) {
    value &= ~(0xFFULL << (8 * i));
    value |= static_cast<uint64_t>(s[pos + i]) << (8 * i);
  }
  return value;
}
}  // namespace

bool ParseDataRuns(ByteSpan runList, uint64_t startVCN, uint64_t lastVCN,
                   std::vector<tagDataRun_Entry>* runs) {
  size_t p = 0;
  if (runList.empty() || runList[0] == 0) return true;
  if (lastVCN < startVCN) {
    runs->clear();
    return false;
  }
  int64_t lcn = 0;
  uint64_t vcn = startVCN;
  // Each element takes at least one byte, so the walk ends within the list.
  while (p < runList.size() && runList[p] != 0) {
    const uint8_t header = runList[p++];
    const unsigned lengthBytes = header & 0x0F;
    const unsigned offsetBytes = header >> 4;
    if (lengthBytes > 8 || offsetBytes > 8) return true;
    if (!Fits(runList, p, lengthBytes + offsetBytes)) return true;
    const uint64_t length = ReadField(runList, p, lengthBytes, false);
    if (length >> 63) return true;
    p += lengthBytes;
    const int64_t offset = static_cast<int64_t>(ReadField(runList, p, offsetBytes, true));
    p += offsetBytes;
    if (__builtin_add_overflow(lcn, offset, &lcn) || lcn < 0) return false;
    tagDataRun_Entry run;
    run.lcn = offset == 0 ? -1 : lcn;
    run.clusters = length;
    run.startVCN = vcn;
    if (length == 0 || __builtin_add_overflow(vcn, length, &vcn) || vcn - 1 > lastVCN) {
      runs->clear();
      return false;
    }
    run.lastVCN = vcn - 1;
    runs->push_back(run);
  }
  return true;
}
