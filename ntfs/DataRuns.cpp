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
void Describe(DecodeError* error, size_t offset, const char* field, std::string found, std::string expected) {
  if (error) *error = DecodeError{"run list", offset, field, std::move(found), std::move(expected)};
}
}  // namespace

bool ParseDataRuns(ByteSpan runList, uint64_t startVCN, uint64_t lastVCN,
                   std::vector<tagDataRun_Entry>* runs, DecodeError* error) {
  size_t p = 0;
  if (runList.empty() || runList[0] == 0) return true;
  if (lastVCN < startVCN) {
    Describe(error, 0, "last VCN", HexValue(lastVCN), "at least the start VCN " + HexValue(startVCN));
    runs->clear();
    return false;
  }
  int64_t lcn = 0;
  uint64_t vcn = startVCN;
  // Each element takes at least one byte, so the walk ends within the list.
  while (p < runList.size() && runList[p] != 0) {
    const size_t at = p;
    const uint8_t header = runList[p++];
    const unsigned lengthBytes = header & 0x0F;
    const unsigned offsetBytes = header >> 4;
    if (lengthBytes > 8 || offsetBytes > 8) {
      Describe(error, at, "header", HexValue(header), "field sizes of at most 8 bytes");
      return true;
    }
    if (!Fits(runList, p, lengthBytes + offsetBytes)) {
      Describe(error, at, "run", std::to_string(runList.size() - p) + " bytes left",
               std::to_string(lengthBytes + offsetBytes) + " bytes");
      return true;
    }
    const uint64_t length = ReadField(runList, p, lengthBytes, false);
    if (length >> 63) {
      Describe(error, p, "length", HexValue(length), "below 2^63 clusters");
      return true;
    }
    p += lengthBytes;
    const int64_t offset = static_cast<int64_t>(ReadField(runList, p, offsetBytes, true));
    p += offsetBytes;
    if (__builtin_add_overflow(lcn, offset, &lcn) || lcn < 0) {
      Describe(error, at, "cluster offset", std::to_string(offset), "a cluster number from 0");
      return false;
    }
    tagDataRun_Entry run;
    run.lcn = offset == 0 ? -1 : lcn;
    run.clusters = length;
    run.startVCN = vcn;
    if (length == 0 || __builtin_add_overflow(vcn, length, &vcn) || vcn - 1 > lastVCN) {
      Describe(error, at, "length", HexValue(length), "1 to the extent's end at VCN " + HexValue(lastVCN));
      runs->clear();
      return false;
    }
    run.lastVCN = vcn - 1;
    runs->push_back(run);
  }
  return true;
}
