#pragma once

#include <cstdint>
#include <vector>

#include "platform/ByteOrder.h"
#include "volume/DecodeError.h"

// One decoded run. VCNs are absolute within the stream: an extent that starts
// at VCN 100 numbers its first run from 100.
struct tagDataRun_Entry {
  int64_t lcn = -1;  // -1 for a sparse run
  uint64_t clusters = 0;
  uint64_t startVCN = 0;
  uint64_t lastVCN = 0;
};

// Decodes a run list of an extent covering [startVCN, lastVCN]. Runs decoded
// before a fault stay in runs; the result says whether the list is usable.
// A fault, usable or not, is described in *error when one is given.
bool ParseDataRuns(ByteSpan runList, uint64_t startVCN, uint64_t lastVCN,
                   std::vector<tagDataRun_Entry>* runs, DecodeError* error = nullptr);
