#include "ntfs/NTFSDelFile.h"

#include <algorithm>
#include <cstring>

#include "ntfs/FileRecord.h"
#include "ntfs/NTFSVolume.h"
#include "volume/FileWriter.h"

CNTFSDelFile::CNTFSDelFile(uint32_t recordNumber, CFileRecord* prototype)
    : m_recordNumber(recordNumber), m_prototype(prototype) {}

CAttrBase* CNTFSDelFile::OpenData(std::string* error) {
  auto fail = [&](const std::string& why) -> CAttrBase* {
    if (error) *error = why;
    return nullptr;
  };
  if (m_prototype == nullptr) return fail("no NTFS volume is open");
  const std::string record = "MFT record " + std::to_string(m_recordNumber);
  // Read from the device: the record may have changed since the scan.
  auto why = [&] {
    const DecodeError& fault = m_prototype->GetLastError();
    return fault.empty() ? std::string() : ": " + fault.Text();
  };
  if (!m_prototype->ReadRecord(m_recordNumber, true)) return fail(record + " cannot be read" + why());
  // A record in use again holds another file now; its data is not ours.
  if (m_prototype->GetRecordFlags() & kRecordInUse) {
    return fail(record + " has been reused by another file");
  }
  m_prototype->SetAttrMask(kMaskData);
  if (!m_prototype->ParseAttrs()) return fail(record + " is compressed, encrypted or damaged" + why());
  CAttrBase* data = m_prototype->FindUnnamedData();
  if (data == nullptr) return fail(record + " has no data stream");
  return data;
}

const uint8_t* CNTFSDelFile::LoadContent(uint32_t* length) {
  CAttrBase* data = OpenData(nullptr);
  if (data == nullptr) return nullptr;
  uint64_t size = data->GetDataSize();
  // A stream cannot hold more than the device, whatever its size field says.
  DiskGeometry geometry;
  if (m_prototype->GetVolume()->GetDeviceHandle()->GetGeometry(&geometry)) size = std::min(size, geometry.diskSize);
  const uint32_t capped = static_cast<uint32_t>(std::min<uint64_t>(size, kPreviewCap));
  // Unread parts stay zero when a read fails midway.
  m_content.assign(capped, 0);
  *length = capped;
  std::vector<uint8_t> chunk(kChunkSize);
  uint64_t offset = 0;
  uint32_t remaining = capped;
  while (remaining > 0) {
    uint32_t got = 0;
    if (!data->ReadData(offset, chunk.data(), kChunkSize, &got)) break;
    // A short piece is accepted only as the last one.
    if (got < std::min(kChunkSize, remaining)) break;
    const uint32_t n = std::min(got, remaining);
    std::memcpy(m_content.data() + offset, chunk.data(), n);
    offset += kChunkSize;
    remaining -= n;
  }
  return m_content.data();
}

bool CNTFSDelFile::OpenContent(ContentSource* source, std::string* error) {
  CAttrBase* data = OpenData(error);
  if (data == nullptr) return false;
  source->length = data->GetDataSize();
  source->chunkSize = kChunkSize;
  source->read = [data](uint64_t offset, uint8_t* buffer, uint32_t n) {
    uint32_t got = 0;
    return data->ReadData(offset, buffer, n, &got) && got == n;
  };
  return true;
}

ContentLayout CNTFSDelFile::Layout() {
  ContentLayout layout;
  CAttrBase* data = OpenData(&layout.why);
  if (data == nullptr) {
    if (m_prototype != nullptr && m_prototype->GetRecordFlags() & kRecordInUse) layout.place = ContentPlace::Reused;
    return layout;
  }
  const auto* stream = dynamic_cast<const CAttrNonResident*>(data);
  if (stream == nullptr) {
    layout.place = ContentPlace::Resident;
    return layout;
  }
  const CNTFSVolume* volume = m_prototype->GetVolume();
  const uint64_t clusterSize = static_cast<uint64_t>(volume->GetBytesPerSector()) * volume->GetSectorsPerCluster();
  if (clusterSize == 0) return layout;
  // Only the clusters that hold data up to the stream's size count: what
  // lies past it was never the file's content.
  const uint64_t size = data->GetDataSize();
  const uint64_t needed = size / clusterSize + (size % clusterSize != 0);
  layout.place = ContentPlace::Clusters;
  for (const tagDataRun_Entry& run : stream->GetRuns()) {
    if (run.startVCN >= needed) break;
    if (run.lcn < 0) continue;  // sparse: no clusters
    const uint64_t count = std::min(run.clusters, needed - run.startVCN);
    uint64_t volumeOffset = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(run.lcn), clusterSize, &volumeOffset)) {
      layout.place = ContentPlace::Unknown;
      layout.why = "a data run starts past any volume (cluster " + std::to_string(run.lcn) + ")";
      layout.runs.clear();
      return layout;
    }
    const uint64_t fileOffset = run.startVCN * clusterSize;
    const uint64_t left = size - fileOffset;
    const uint64_t length = count > left / clusterSize ? left : count * clusterSize;
    layout.runs.push_back({fileOffset, volumeOffset, length, static_cast<uint64_t>(run.lcn), count});
  }
  return layout;
}
