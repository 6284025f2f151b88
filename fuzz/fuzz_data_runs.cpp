// Run-list decoding and reads through it: the input is a non-resident $DATA
// attribute's VCN range, data size and run list.
#include <cstring>

#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "platform/MemoryDevice.h"
#include "support/NtfsImageBuilder.h"

namespace {
uint64_t Take64(const uint8_t*& data, size_t& size) {
  uint64_t v = 0;
  const size_t n = std::min<size_t>(size, 8);
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint64_t startVCN = Take64(data, size) & 0xFFFF;
  const uint64_t lastVCN = startVCN + (Take64(data, size) & 0xFFFF);
  const uint64_t dataSize = Take64(data, size);
  const uint64_t offset = Take64(data, size);
  Bytes runs(data, data + std::min<size_t>(size, 700));
  runs.push_back(0);
  // One volume image for every input: only the records under test change.
  static const auto image = std::make_shared<std::vector<uint8_t>>([] {
    NtfsImageBuilder b(24);
    b.WriteClusters(30, Bytes(16 * NtfsImageBuilder::kClusterSize, 0x3C));
    return b.Image();
  }());
  const Bytes recordBytes = FileRecordBytes(0, {NonResidentAttr(0x80, runs, startVCN, lastVCN, dataSize)}, 20);
  std::memcpy(image->data() + NtfsImageBuilder::kMftCluster * NtfsImageBuilder::kClusterSize + 20 * 1024,
              recordBytes.data(), recordBytes.size());
  CNTFSVolume volume(std::make_shared<CMemoryDevice>(image));
  if (!volume.IsVolumeOK()) return 0;
  CFileRecord record(&volume);
  record.SetAttrMask(kMaskData);
  if (!record.ReadRecord(20) || !record.ParseAttrs()) return 0;
  CAttrBase* stream = record.FindUnnamedData();
  if (stream == nullptr) return 0;
  std::vector<uint8_t> buffer(3 * NtfsImageBuilder::kClusterSize + 17);
  uint32_t got = 0;
  stream->ReadData(dataSize == UINT64_MAX ? offset : offset % (dataSize + 1), buffer.data(), static_cast<uint32_t>(buffer.size()), &got);
  stream->ReadData(0, buffer.data(), 10, &got);
  return 0;
}
