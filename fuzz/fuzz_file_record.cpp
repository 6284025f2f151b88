// A file record with its fix-ups and attributes, and attribute lists pulling
// in extension records, over an in-memory NTFS volume. The input fills
// records 20 to 23; with the first byte odd, each gets the FILE signature and
// a valid update sequence, so that the attribute parsing is reached.
#include <cstring>

#include "ntfs/NTFSDelFile.h"
#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/MemoryDevice.h"
#include "support/NtfsImageBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool fixUp = data[0] & 1;
  ++data;
  --size;
  // One volume with a small MFT, copied for each input.
  // One volume image for every input: only the records under test change.
  static const auto image = std::make_shared<std::vector<uint8_t>>([] {
    NtfsImageBuilder b(24);
    b.WriteClusters(30, Bytes(8 * NtfsImageBuilder::kClusterSize, 0x5A));
    return b.Image();
  }());
  constexpr size_t kRecord = NtfsImageBuilder::kRecordSize;
  for (uint64_t n = 20; n < 24; ++n) {
    Bytes record(kRecord, 0);
    const size_t take = std::min(size, kRecord);
    std::memcpy(record.data(), data, take);
    data += take;
    size -= take;
    if (fixUp) {
      std::memcpy(record.data(), "FILE", 4);
      record[4] = 0x30;  // update sequence offset
      record[5] = 0;
      for (size_t end : {size_t{510}, size_t{1022}}) {
        record[0x32 + (end == 510 ? 0 : 2)] = record[end];
        record[0x33 + (end == 510 ? 0 : 2)] = record[end + 1];
        record[end] = record[0x30];
        record[end + 1] = record[0x31];
      }
    }
    std::memcpy(image->data() + NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize + n * kRecord,
                record.data(), kRecord);
  }
  CNTFSVolume volume(std::make_shared<CMemoryDevice>(image));
  if (!volume.IsVolumeOK()) return 0;
  CFileRecord prototype(&volume);
  for (uint32_t mask : {uint32_t{kMaskScan}, uint32_t{kMaskData}, 0xFFFFFFFFu}) {
    CFileRecord record(prototype);
    record.SetAttrMask(mask);
    if (!record.ReadRecord(20)) continue;
    record.ParseAttrs();
    std::u16string name;
    record.GetFileName(&name);
    record.GetParentRef();
    record.GetFileSize();
    record.GetFileTime();
    if (CAttrBase* stream = record.FindUnnamedData()) {
      std::vector<uint8_t> buffer(3 * NtfsImageBuilder::kClusterSize + 5);
      uint32_t got = 0;
      const uint64_t dataSize = stream->GetDataSize();
      for (uint64_t offset : {uint64_t{0}, uint64_t{4095}, dataSize / 2, dataSize}) {
        stream->ReadData(offset, buffer.data(), static_cast<uint32_t>(buffer.size()), &got);
      }
    }
  }
  // The preview path too, for streams small enough not to spend the run in
  // allocating a 10 MiB buffer for a stream that cannot be read.
  CFileRecord probe(prototype);
  probe.SetAttrMask(kMaskData);
  CAttrBase* stream = probe.ReadRecord(20) && probe.ParseAttrs() ? probe.FindUnnamedData() : nullptr;
  if (stream && stream->GetDataSize() <= 256 * 1024) {
    CNTFSDelFile file(20, &prototype);
    uint32_t length = 0;
    file.LoadContent(&length);
  }
  return 0;
}
