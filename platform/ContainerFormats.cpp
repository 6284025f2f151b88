#include <cstring>
#include <vector>

#include "platform/Containers.h"

namespace {

struct ContainerSignature {
  const char* kind;
  bool atEnd;  // a fixed VHD keeps its footer in the file's last 512 bytes
  const char* magic;
  size_t length;
};

// Split EWF sets are named by their first segment, whose header starts like every segment's.
constexpr ContainerSignature kSignatures[] = {
    {"EWF", false, "EVF\x09\x0d\x0a\xff\x00", 8},
    {"EWF", false, "EVF2\x0d\x0a\x81\x00", 8},
    {"QCOW2", false, "QFI\xfb", 4},
    {"VHDX", false, "vhdxfile", 8},
    {"VHD", false, "conectix", 8},
    {"VHD", true, "conectix", 8},
    {"VMDK", false, "KDMV", 4},
    {"VMDK", false, "COWD", 4},
    {"VMDK", false, "# Disk DescriptorFile", 21},
};

constexpr uint32_t kFooterSize = 512;

}  // namespace

std::string SniffContainer(CDevice& file) {
  DiskGeometry geometry;
  if (!file.GetGeometry(&geometry)) return "";
  char head[32] = {};
  char footer[8] = {};
  const bool haveHead = ReadExactly(file, 0, head, sizeof head) ||
                        (geometry.diskSize < sizeof head && ReadExactly(file, 0, head, static_cast<uint32_t>(geometry.diskSize)));
  const bool haveFooter = geometry.diskSize >= kFooterSize &&
                          ReadExactly(file, geometry.diskSize - kFooterSize, footer, sizeof footer);
  for (const ContainerSignature& s : kSignatures) {
    const char* bytes = s.atEnd ? footer : head;
    if (!(s.atEnd ? haveFooter : haveHead)) continue;
    if (std::memcmp(bytes, s.magic, s.length) == 0) return s.kind;
  }
  return "";
}
