#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/Containers.h"
#include "platform/Drives.h"
#include "platform/MemoryDevice.h"
#include "platform/PartitionDevice.h"
#include "platform/Partitions.h"
#include "support/Fixtures.h"
#include "support/ParamNames.h"
#include "support/Sha256.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kSector = 512;

CMemoryDevice DeviceOf(Bytes bytes) { return CMemoryDevice(std::make_shared<const Bytes>(std::move(bytes))); }

struct DiskCase {
  const char* what;
  const char* image;
  std::vector<PartitionInfo> expected;  // number, offset, size, cut, size in the table
};

void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.what; }

class PartitionTables : public ::testing::TestWithParam<DiskCase> {};

TEST_P(PartitionTables, ListEveryDataPartitionInTableOrder) {
  CMemoryDevice disk = DeviceOf(ReadWholeFile(FixturePath(GetParam().image)));
  PartitionTable table;
  std::string error;
  ASSERT_TRUE(ReadPartitionTable(disk, &table, &error)) << error;
  ASSERT_EQ(table.partitions.size(), GetParam().expected.size());
  for (size_t i = 0; i < table.partitions.size(); ++i) {
    const PartitionInfo& want = GetParam().expected[i];
    const PartitionInfo& got = table.partitions[i];
    EXPECT_EQ(got.number, want.number);
    EXPECT_EQ(got.offset, want.offset) << want.number;
    EXPECT_EQ(got.size, want.size) << want.number;
    EXPECT_EQ(got.cut, want.cut) << want.number;
    EXPECT_EQ(got.tableSize, want.tableSize) << want.number;
  }
}

// Each partition is a drive of its own that starts where its table says: the
// marker the fixture script wrote at its first byte is read through it, and
// a read past its end ends there, like one past a device's end.
TEST_P(PartitionTables, EachPartitionIsADriveReadFromItsStart) {
  std::string error;
  std::vector<char> letters;
  ASSERT_TRUE(RegisterImage(FixturePath(GetParam().image), &error, nullptr, &letters)) << error;
  for (const PartitionInfo& want : GetParam().expected) {
    DriveInfo drive;
    char letter = 0;
    for (char l : letters) {
      DriveInfo d;
      if (FindDrive(l, &d) && d.partition == want.number) {
        drive = d;
        letter = l;
      }
    }
    ASSERT_NE(letter, 0) << "partition " << want.number;
    EXPECT_EQ(drive.offset, want.offset);
    EXPECT_EQ(drive.totalSize, want.size);
    EXPECT_EQ(drive.note.find("past the end") != std::string::npos, want.cut) << drive.note;
    std::shared_ptr<CDevice> partition = OpenDrive(letter, &error);
    ASSERT_TRUE(partition) << error;
    char marker[16] = {};
    ASSERT_TRUE(ReadExactly(*partition, 0, marker, 11));
    EXPECT_EQ(std::string(marker, 11), "partition " + std::to_string(want.number));
    std::vector<char> tail(4096);
    uint32_t got = 0;
    ASSERT_TRUE(partition->ReadAt(want.size - 512, tail.data(), 4096, &got));
    EXPECT_EQ(got, 512u);
  }
  ForgetDrive(letters.front());
}

INSTANTIATE_TEST_SUITE_P(
    Disks, PartitionTables,
    ::testing::Values(
        DiskCase{"mbr_with_logical_partitions", "disk-mbr.img",
                 {{1, 2048 * kSector, 20480 * kSector, false, 20480 * kSector, "dos"},
                  {5, 24576 * kSector, 30000 * kSector, false, 30000 * kSector, "dos"},
                  {6, 57344 * kSector, 40000 * kSector, false, 40000 * kSector, "dos"}}},
        DiskCase{"gpt", "disk-gpt.img",
                 {{1, 2048 * kSector, 16384 * kSector, false, 16384 * kSector, "gpt"},
                  {2, 20480 * kSector, 32768 * kSector, false, 32768 * kSector, "gpt"}}},
        DiskCase{"table_past_the_end_of_the_image", "disk-cut.img",
                 {{1, 2048 * kSector, 20480 * kSector, false, 20480 * kSector, "dos"},
                  {5, 24576 * kSector, 30000 * kSector, false, 30000 * kSector, "dos"},
                  {6, 57344 * kSector, (40u << 20) - 57344 * kSector, true, 40000 * kSector, "dos"}}}),
    NameFromWhat());

// The space outside every partition is one more drive, its stretches read
// one after another as one device.
TEST(PartitionTables, SpaceOutsidePartitionsIsOneDriveOfItsStretches) {
  const std::string path = FixturePath("disk-mbr.img");
  const Bytes whole = ReadWholeFile(path);
  std::string error;
  std::vector<char> letters;
  ASSERT_TRUE(RegisterImage(path, &error, nullptr, &letters)) << error;
  DriveInfo outside;
  for (char l : letters) {
    DriveInfo d;
    if (FindDrive(l, &d) && d.partition == 0) outside = d;
  }
  ASSERT_NE(outside.letter, 0);
  EXPECT_EQ(outside.fileSystem, "");
  // 64 MiB less partitions 1 (20480 sectors), 5 (30000) and 6 (40000).
  EXPECT_EQ(outside.totalSize, (64u << 20) - (20480 + 30000 + 40000) * kSector);
  std::shared_ptr<CDevice> device = OpenDrive(outside.letter, &error);
  ASSERT_TRUE(device) << error;
  // Bytes 0..2047 sectors are the first stretch; the second starts at the
  // end of partition 1, at sector 22528, where the extended partition begins.
  Bytes across(2 * kSector);
  ASSERT_TRUE(ReadExactly(*device, 2047 * kSector, across.data(), static_cast<uint32_t>(across.size())));
  EXPECT_TRUE(std::equal(across.begin(), across.begin() + kSector, whole.begin() + 2047 * kSector));
  EXPECT_TRUE(std::equal(across.begin() + kSector, across.end(), whole.begin() + 22528 * kSector));
  ForgetDrive(letters.front());
}

// Byte-level tables for the edge cases real tools will not write.
struct TableBuilder {
  Bytes disk = Bytes(8u << 20, 0);

  void Signature(uint64_t sector) {
    disk[sector * kSector + 510] = 0x55;
    disk[sector * kSector + 511] = 0xAA;
  }
  void Put32(uint64_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) disk[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void Put64(uint64_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) disk[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  // One 16-byte entry of the table in the given sector.
  void Entry(uint64_t sector, int slot, uint8_t type, uint32_t first, uint32_t count) {
    const uint64_t at = sector * kSector + 446 + 16 * slot;
    disk[at + 0] = 0x00;   // status
    disk[at + 4] = type;   // partition type
    Put32(at + 8, first);  // first sector
    Put32(at + 12, count); // sectors
    Signature(sector);
  }
  // A GPT header at lba with one entry array of 128 entries at entriesLba.
  void Gpt(uint64_t lba, uint64_t entriesLba, uint64_t first, uint64_t last) {
    const uint64_t entries = entriesLba * kSector;
    disk[entries] = 0xA2;                   // type GUID: anything not all zero
    Put64(entries + 32, first);             // first LBA
    Put64(entries + 40, last);              // last LBA, inclusive
    const uint64_t at = lba * kSector;
    std::memcpy(&disk[at], "EFI PART", 8);  // signature
    Put32(at + 8, 0x00010000);              // revision 1.0
    Put32(at + 12, 92);                     // header size
    Put64(at + 72, entriesLba);             // entry array's LBA
    Put32(at + 80, 128);                    // entries
    Put32(at + 84, 128);                    // bytes per entry
    Put32(at + 88, static_cast<uint32_t>(crc32(0, &disk[entries], 128 * 128)));  // entries' CRC
    Put32(at + 16, 0);
    Put32(at + 16, static_cast<uint32_t>(crc32(0, &disk[at], 92)));  // header CRC
  }
};

TEST(PartitionTables, HostileTablesAreReadWithoutHarmAndSaySo) {
  {
    SCOPED_TRACE("logical partitions whose links loop");
    TableBuilder t;
    t.Entry(0, 0, 0x05, 2048, 8192);
    t.Entry(2048, 0, 0x07, 64, 128);   // logical 5
    t.Entry(2048, 1, 0x05, 0, 8192);   // link back to the same record
    CMemoryDevice disk = DeviceOf(t.disk);
    PartitionTable table;
    std::string error;
    ASSERT_TRUE(ReadPartitionTable(disk, &table, &error));
    ASSERT_EQ(table.partitions.size(), 1u);
    EXPECT_EQ(table.partitions[0].number, 5);
    ASSERT_EQ(table.notes.size(), 1u);
    EXPECT_NE(table.notes[0].find("loops back"), std::string::npos) << table.notes[0];
  }
  {
    SCOPED_TRACE("an entry that starts past the end of the disk");
    TableBuilder t;
    t.Entry(0, 0, 0x07, 0xFFFFFFF0u, 0xFFFFFFFFu);
    CMemoryDevice disk = DeviceOf(t.disk);
    PartitionTable table;
    std::string error;
    ASSERT_TRUE(ReadPartitionTable(disk, &table, &error));
    ASSERT_EQ(table.partitions.size(), 1u);
    EXPECT_EQ(table.partitions[0].size, 0u);
    EXPECT_TRUE(table.partitions[0].cut);
  }
  {
    SCOPED_TRACE("a damaged primary GPT header: the backup at the last sector serves");
    TableBuilder t;
    const uint64_t last = t.disk.size() / kSector - 1;
    t.Entry(0, 0, 0xEE, 1, 0xFFFFFFFFu);
    t.Entry(0, 1, 0x0C, 2048, 100);  // a hybrid table's MBR copy, not read
    t.Gpt(1, 2, 2048, 4095);
    t.Gpt(last, last - 32, 2048, 4095);
    t.disk[kSector + 20] ^= 0xFF;    // breaks the primary header's CRC
    CMemoryDevice disk = DeviceOf(t.disk);
    PartitionTable table;
    std::string error;
    ASSERT_TRUE(ReadPartitionTable(disk, &table, &error)) << error;
    EXPECT_EQ(table.type, "gpt");
    ASSERT_EQ(table.partitions.size(), 1u);
    EXPECT_EQ(table.partitions[0].offset, 2048 * kSector);
    EXPECT_EQ(table.partitions[0].size, 2048 * kSector);
    ASSERT_EQ(table.notes.size(), 1u);
    EXPECT_NE(table.notes[0].find("GPT header at byte 512: checksum"), std::string::npos) << table.notes[0];
  }
  {
    SCOPED_TRACE("no GPT header that holds: a clear refusal");
    TableBuilder t;
    t.Entry(0, 0, 0xEE, 1, 0xFFFFFFFFu);
    t.Gpt(1, 2, 2048, 4095);
    t.disk[2 * kSector + 40] ^= 0xFF;  // breaks the entries' CRC
    CMemoryDevice disk = DeviceOf(t.disk);
    PartitionTable table;
    std::string error;
    EXPECT_FALSE(ReadPartitionTable(disk, &table, &error));
    EXPECT_NE(error.find("GPT entry array at byte 1024: checksum"), std::string::npos) << error;
  }
}

// The first bytes of an image and its last 512, in that order: what the
// table reader and the container sniffer look at, without reading it all.
Bytes HeadAndTail(const std::string& path, size_t head) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes(head + 512);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(head));
  in.seekg(-512, std::ios::end);
  in.read(reinterpret_cast<char*>(bytes.data() + head), 512);
  return bytes;
}

// A volume's boot sector ends in 0x55AA like a table: the images of single
// file systems stay one drive, as before.
TEST(PartitionTables, AVolumeAtByteZeroIsNotATable) {
  for (const char* image : {"ntfs-sample.img", "fat32-sample.img", "fat32-4k.img"}) {
    CMemoryDevice disk = DeviceOf(HeadAndTail(FixturePath(image), 64 * 1024));
    PartitionTable table;
    std::string error;
    ASSERT_TRUE(ReadPartitionTable(disk, &table, &error)) << image;
    EXPECT_TRUE(table.partitions.empty()) << image;
    EXPECT_EQ(table.type, "") << image;
  }
}

// Containers are known by their content (the sniffer sees bytes, never a name).
TEST(Containers, KnownByTheirContent) {
  const struct {
    const char* image;
    const char* kind;
  } cases[] = {
      {"disk-fs.vhdx", "VHDX"}, {"disk-fs.vhd", "VHD"},           {"disk-fs.vmdk", "VMDK"},
      {"disk-fs.qcow2", "QCOW2"}, {"disk-fs-ewf.E01", "EWF"},     {"disk-fs-gpt.E01", "EWF"},
      {"disk-fs.img", ""},       {"ntfs-sample.img", ""},
  };
  for (const auto& c : cases) {
    CMemoryDevice file = DeviceOf(HeadAndTail(FixturePath(c.image), 4096));
    EXPECT_EQ(SniffContainer(file), c.kind) << c.image;
  }
}

#ifdef _WIN32
TEST(Containers, RefusedByTheWindowsBuildWithTheWayOut) {
  std::string error;
  EXPECT_FALSE(RegisterImage(FixturePath("disk-fs.vhdx"), &error));
  EXPECT_NE(error.find("VHDX image, which the Windows build cannot read"), std::string::npos) << error;
}
#else
// Damaged containers are refused with the library's reason, never read as raw disks.
TEST(Containers, DamagedOrIncompleteOnesAreRefusedWithTheReason) {
  const std::string folder = MakeTempFolder();
  {
    SCOPED_TRACE("an EWF set without its second segment");
    for (const char* segment : {"disk-fs-ewf.E01", "disk-fs-ewf.E03", "disk-fs-ewf.E04", "disk-fs-ewf.E05"}) {
      std::filesystem::copy_file(FixturePath(segment), folder + "/" + segment);
    }
    std::string error;
    EXPECT_FALSE(RegisterImage(folder + "/disk-fs-ewf.E01", &error));
    EXPECT_NE(error.find("EWF image is incomplete or damaged: its 1 segment file(s) end at"), std::string::npos) << error;
  }
  {
    SCOPED_TRACE("a QCOW2 image cut short");
    Bytes qcow = ReadWholeFile(FixturePath("disk-fs.qcow2"));
    qcow.resize(4096);
    std::ofstream(folder + "/cut.qcow2", std::ios::binary).write(reinterpret_cast<const char*>(qcow.data()), 4096);
    std::string error;
    EXPECT_FALSE(RegisterImage(folder + "/cut.qcow2", &error));
    EXPECT_NE(error.find("QCOW2 image cannot be opened: libqcow_cluster_table_read: unable to read cluster table"),
              std::string::npos) << error;
  }
  {
    SCOPED_TRACE("a child image, whose parent holds the rest of the disk");
    std::string error;
    EXPECT_FALSE(RegisterImage(FixturePath("disk-fs-child.qcow2"), &error));
    EXPECT_NE(error.find("differencing image whose data lies partly in its parent image 'disk-fs.qcow2'"),
              std::string::npos) << error;
  }
}
#endif

}  // namespace
