#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <set>

#include "platform/BootSector.h"
#include "platform/ByteOrder.h"
#include "platform/Partitions.h"

namespace {

constexpr uint32_t kMbrSize = 512;
constexpr size_t kMbrSignature = 510;       // 0x55 0xAA
constexpr size_t kMbrEntries = 446;         // four 16-byte entries
constexpr size_t kMbrEntrySize = 16;
constexpr size_t kEntryStatus = 0;          // 0x00 or 0x80
constexpr size_t kEntryType = 4;
constexpr size_t kEntryFirstSector = 8;
constexpr size_t kEntrySectors = 12;
constexpr uint8_t kTypeProtective = 0xEE;
// A chain of logical partitions longer than this is a loop or garbage.
constexpr int kMaxLogicalPartitions = 256;

constexpr size_t kGptSignature = 0;         // "EFI PART"
constexpr size_t kGptHeaderSize = 12;
constexpr size_t kGptHeaderCrc = 16;
constexpr size_t kGptEntriesLba = 72;
constexpr size_t kGptEntryCount = 80;
constexpr size_t kGptEntrySize = 84;
constexpr size_t kGptEntriesCrc = 88;
constexpr uint32_t kGptMinHeaderSize = 92;
constexpr size_t kGptEntryTypeGuid = 0;     // 16 bytes, all zero for an unused entry
constexpr size_t kGptEntryFirstLba = 32;
constexpr size_t kGptEntryLastLba = 40;     // inclusive
constexpr uint32_t kGptMinEntrySize = 128;
constexpr uint64_t kGptMaxEntriesBytes = 4u << 20;

std::string Hex(uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%" PRIx64, value);
  return text;
}

std::string At(const char* structure, uint64_t byte) {
  return std::string(structure) + " at byte " + std::to_string(byte);
}

bool ReadBytes(CDevice& disk, uint64_t offset, std::vector<uint8_t>* bytes, size_t length) {
  bytes->assign(length, 0);
  return length <= UINT32_MAX && ReadExactly(disk, offset, bytes->data(), static_cast<uint32_t>(length));
}

bool IsExtended(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

uint32_t Crc32(ByteSpan bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; tables here stay far below its limit.
  return static_cast<uint32_t>(crc32(crc, bytes.data(), static_cast<uInt>(bytes.size())));
}

class CTableReader {
 public:
  CTableReader(CDevice& disk, uint64_t diskSize, uint32_t sectorSize, PartitionTable* table)
      : m_disk(disk), m_diskSize(diskSize), m_sector(sectorSize), m_table(table) {}

  // Adds a partition given in sectors; numbers that cannot be a byte offset lie past the disk's end.
  void Add(int number, uint64_t firstSector, uint64_t sectors) {
    PartitionInfo info;
    info.number = number;
    info.table = m_table->type;
    if (__builtin_mul_overflow(firstSector, m_sector, &info.offset)) info.offset = UINT64_MAX;
    if (__builtin_mul_overflow(sectors, m_sector, &info.tableSize)) info.tableSize = UINT64_MAX;
    info.size = info.tableSize;
    if (info.offset >= m_diskSize) {
      info.size = 0;
      info.cut = true;
    } else if (info.size > m_diskSize - info.offset) {
      info.size = m_diskSize - info.offset;
      info.cut = true;
    }
    m_table->partitions.push_back(info);
  }

  void ReadMbr(ByteSpan mbr) {
    m_table->type = "dos";
    for (int i = 0; i < 4; ++i) {
      const ByteSpan entry = mbr.subspan(kMbrEntries + i * kMbrEntrySize, kMbrEntrySize);
      const uint8_t type = LE8(entry, kEntryType);
      const uint32_t sectors = LE32(entry, kEntrySectors);
      if (type == 0 || sectors == 0) continue;
      if (IsExtended(type)) {
        ReadLogicalPartitions(LE32(entry, kEntryFirstSector));
      } else {
        Add(i + 1, LE32(entry, kEntryFirstSector), sectors);
      }
    }
  }

  // Each extended boot record holds one logical partition, counted from the
  // record itself, and a link to the next record, counted from the start of
  // the extended partition.
  void ReadLogicalPartitions(uint64_t extendedStart) {
    std::set<uint64_t> visited;
    uint64_t record = extendedStart;
    int number = 5;
    std::vector<uint8_t> ebr;
    for (int step = 0; step < kMaxLogicalPartitions; ++step) {
      uint64_t at = 0;
      if (!visited.insert(record).second) {
        m_table->notes.push_back("the chain of logical partitions loops back to sector " + std::to_string(record));
        return;
      }
      if (__builtin_mul_overflow(record, m_sector, &at) || !ReadBytes(m_disk, at, &ebr, kMbrSize)) {
        m_table->notes.push_back(At("extended boot record", at) + " cannot be read; the logical partitions after it are not listed");
        return;
      }
      if (LE16(ebr, kMbrSignature) != 0xAA55) {
        m_table->notes.push_back(At("extended boot record", at) + ": signature " + Hex(LE16(ebr, kMbrSignature)) +
                                 ", expected 0xaa55; the logical partitions after it are not listed");
        return;
      }
      const ByteSpan data = ByteSpan(ebr).subspan(kMbrEntries, kMbrEntrySize);
      const ByteSpan link = ByteSpan(ebr).subspan(kMbrEntries + kMbrEntrySize, kMbrEntrySize);
      const uint32_t sectors = LE32(data, kEntrySectors);
      if (LE8(data, kEntryType) != 0 && sectors != 0) {
        Add(number++, record + LE32(data, kEntryFirstSector), sectors);
      }
      if (!IsExtended(LE8(link, kEntryType)) || LE32(link, kEntrySectors) == 0) return;
      record = extendedStart + LE32(link, kEntryFirstSector);
    }
    m_table->notes.push_back("more than " + std::to_string(kMaxLogicalPartitions) +
                             " logical partitions; the rest are not listed");
  }

  // A header is used only when its own checksum and its entries' checksum hold.
  bool ReadGptHeader(uint64_t lba, std::string* problem) {
    uint64_t at = 0;
    std::vector<uint8_t> header;
    if (__builtin_mul_overflow(lba, m_sector, &at) || !ReadBytes(m_disk, at, &header, m_sector)) {
      *problem = At("GPT header", at) + " cannot be read";
      return false;
    }
    if (std::string(header.begin() + kGptSignature, header.begin() + kGptSignature + 8) != "EFI PART") {
      *problem = At("GPT header", at) + ": no \"EFI PART\" signature";
      return false;
    }
    const uint32_t headerSize = LE32(header, kGptHeaderSize);
    if (headerSize < kGptMinHeaderSize || headerSize > m_sector) {
      *problem = At("GPT header", at) + ": header size " + std::to_string(headerSize) + ", expected 92 to " +
                 std::to_string(m_sector);
      return false;
    }
    const uint32_t stored = LE32(header, kGptHeaderCrc);
    std::vector<uint8_t> zeroed(header.begin(), header.begin() + headerSize);
    std::fill(zeroed.begin() + kGptHeaderCrc, zeroed.begin() + kGptHeaderCrc + 4, 0);
    if (Crc32(zeroed) != stored) {
      *problem = At("GPT header", at) + ": checksum " + Hex(stored) + ", expected " + Hex(Crc32(zeroed));
      return false;
    }
    const uint32_t count = LE32(header, kGptEntryCount);
    const uint32_t entrySize = LE32(header, kGptEntrySize);
    uint64_t bytes = 0;
    if (entrySize < kGptMinEntrySize || entrySize % 8 != 0 ||
        __builtin_mul_overflow(static_cast<uint64_t>(count), entrySize, &bytes) || bytes > kGptMaxEntriesBytes) {
      *problem = At("GPT header", at) + ": " + std::to_string(count) + " entries of " + std::to_string(entrySize) +
                 " bytes, expected entries of 128 bytes or more, 4 MiB in all at most";
      return false;
    }
    uint64_t entriesAt = 0;
    std::vector<uint8_t> entries;
    if (__builtin_mul_overflow(LE64(header, kGptEntriesLba), m_sector, &entriesAt) ||
        !ReadBytes(m_disk, entriesAt, &entries, bytes)) {
      *problem = At("GPT entry array", entriesAt) + " cannot be read";
      return false;
    }
    if (Crc32(entries) != LE32(header, kGptEntriesCrc)) {
      *problem = At("GPT entry array", entriesAt) + ": checksum " + Hex(LE32(header, kGptEntriesCrc)) +
                 ", expected " + Hex(Crc32(entries));
      return false;
    }
    m_table->type = "gpt";
    for (uint32_t i = 0; i < count; ++i) {
      const ByteSpan entry = ByteSpan(entries).subspan(static_cast<size_t>(i) * entrySize, entrySize);
      const ByteSpan typeGuid = entry.subspan(kGptEntryTypeGuid, 16);
      if (std::all_of(typeGuid.begin(), typeGuid.end(), [](uint8_t b) { return b == 0; })) continue;
      const uint64_t first = LE64(entry, kGptEntryFirstLba);
      const uint64_t last = LE64(entry, kGptEntryLastLba);
      if (last < first) {
        m_table->notes.push_back(At("GPT entry", entriesAt + static_cast<uint64_t>(i) * entrySize) +
                                 ": last sector " + std::to_string(last) + " before first sector " +
                                 std::to_string(first) + "; partition " + std::to_string(i + 1) + " is not listed");
        continue;
      }
      Add(static_cast<int>(i) + 1, first, last - first + 1);
    }
    return true;
  }

  // The primary header, else the backup at the disk's last sector.
  bool ReadGpt(std::string* error) {
    std::string primaryProblem;
    if (ReadGptHeader(1, &primaryProblem)) return true;
    std::string backupProblem;
    const uint64_t lastLba = m_diskSize / m_sector - 1;
    if (ReadGptHeader(lastLba, &backupProblem)) {
      m_table->notes.push_back(primaryProblem + "; the backup header was used");
      return true;
    }
    *error = primaryProblem + "; backup: " + backupProblem;
    return false;
  }

 private:
  CDevice& m_disk;
  uint64_t m_diskSize;
  uint64_t m_sector;
  PartitionTable* m_table;
};

// A volume boot sector also ends in 0x55AA: one that names its file system,
// or whose entries have status bytes no table uses, is not a table.
bool LooksLikeMbr(ByteSpan sector) {
  if (LE16(sector, kMbrSignature) != 0xAA55) return false;
  if (!FileSystemOfBootSector(sector.data(), sector.size()).empty()) return false;
  bool any = false;
  for (int i = 0; i < 4; ++i) {
    const ByteSpan entry = sector.subspan(kMbrEntries + i * kMbrEntrySize, kMbrEntrySize);
    const uint8_t status = LE8(entry, kEntryStatus);
    if (status != 0x00 && status != 0x80) return false;
    if (LE8(entry, kEntryType) != 0 && LE32(entry, kEntrySectors) != 0) any = true;
  }
  return any;
}

bool HasProtectiveEntry(ByteSpan mbr) {
  for (int i = 0; i < 4; ++i) {
    if (LE8(mbr.subspan(kMbrEntries + i * kMbrEntrySize, kMbrEntrySize), kEntryType) == kTypeProtective) return true;
  }
  return false;
}

}  // namespace

bool ReadPartitionTable(CDevice& disk, PartitionTable* table, std::string* error) {
  *table = PartitionTable{};
  DiskGeometry geometry;
  if (!disk.GetGeometry(&geometry)) {
    if (error) *error = "the disk's size cannot be read";
    return false;
  }
  std::vector<uint8_t> mbr;
  if (geometry.diskSize < kMbrSize || !ReadBytes(disk, 0, &mbr, kMbrSize)) return true;
  if (!LooksLikeMbr(mbr)) return true;
  if (HasProtectiveEntry(mbr)) {
    // Hybrid tables list some partitions in both; the GPT is the whole truth, as Linux reads it.
    // Disks with 4096-byte sectors put the header at byte 4096.
    std::string problem;
    for (uint32_t sector : {512u, 4096u}) {
      PartitionTable gpt;
      CTableReader reader(disk, geometry.diskSize, sector, &gpt);
      std::string reason;
      if (reader.ReadGpt(&reason)) {
        *table = gpt;
        return true;
      }
      if (problem.empty()) problem = reason;
    }
    if (error) *error = "the disk's GPT cannot be read: " + problem;
    return false;
  }
  const uint32_t sector = geometry.bytesPerSector >= kMbrSize ? geometry.bytesPerSector : kMbrSize;
  CTableReader(disk, geometry.diskSize, sector, table).ReadMbr(mbr);
  return true;
}

std::vector<DiskExtent> SpaceOutsidePartitions(const std::vector<PartitionInfo>& partitions, uint64_t diskSize) {
  std::vector<DiskExtent> used;
  for (const PartitionInfo& p : partitions) {
    if (p.size != 0) used.push_back({p.offset, p.size});
  }
  std::sort(used.begin(), used.end(), [](const DiskExtent& a, const DiskExtent& b) { return a.offset < b.offset; });
  std::vector<DiskExtent> gaps;
  uint64_t position = 0;
  for (const DiskExtent& e : used) {
    if (e.offset > position) gaps.push_back({position, e.offset - position});
    position = std::max(position, e.offset + e.size);  // sizes are cut to the disk: no overflow
  }
  if (diskSize > position) gaps.push_back({position, diskSize - position});
  return gaps;
}
