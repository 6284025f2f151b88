#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fat32/ExFat.h"
#include "support/ParamNames.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(Bytes& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t Checksum(const Bytes& set) {
  uint16_t sum = 0;
  for (size_t i = 0; i < set.size(); ++i) {
    if (i == 2 || i == 3) continue;
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
  }
  return sum;
}

// A live entry set for a file of the given name, checksum included.
Bytes EntrySet(const std::u16string& name, uint64_t size) {
  const size_t names = (name.size() + 14) / 15;
  Bytes set((2 + names) * 32, 0);
  set[0] = 0x85;                                   // File entry
  set[1] = static_cast<uint8_t>(1 + names);        // secondary count
  Put16(set, 4, 0x20);                             // attributes: archive
  Put32(set, 12, (44u << 25) | (3u << 21) | (15u << 16) | (10u << 11) | (30u << 5));  // 2024-03-15 10:30
  set[32] = 0xC0;                                  // Stream extension
  set[33] = 0x03;                                  // allocation possible, no FAT chain
  set[35] = static_cast<uint8_t>(name.size());     // name length
  Put64(set, 40, size);                            // valid data length
  Put32(set, 52, 7);                               // first cluster
  Put64(set, 56, size);                            // data length
  for (size_t k = 0; k < names; ++k) {
    set[(2 + k) * 32] = 0xC1;                      // File name entry
    for (size_t c = 0; c < 15 && k * 15 + c < name.size(); ++c) Put16(set, (2 + k) * 32 + 2 + 2 * c, name[k * 15 + c]);
  }
  Put16(set, 2, Checksum(set));                    // set checksum
  return set;
}

Bytes Deleted(Bytes set) {
  for (size_t at = 0; at < set.size(); at += 32) set[at] &= 0x7F;
  return set;
}

Bytes WithByte(Bytes set, size_t at, uint8_t value) {
  set[at] = value;
  return set;
}

struct SetCase {
  const char* what;
  Bytes set;
  bool decoded;
  const char* field;  // of the fault, when not decoded
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.what; }

class ExFatEntrySets : public ::testing::TestWithParam<SetCase> {};

TEST_P(ExFatEntrySets, DecodeOrSayWhatIsWrong) {
  const SetCase& c = GetParam();
  Bytes directory = c.set;
  directory.resize(directory.size() + 64, 0);
  ExFatEntrySet set;
  size_t entries = 0;
  DecodeError fault;
  EXPECT_EQ(DecodeExFatEntrySet(directory, 0, &set, &entries, &fault), c.decoded) << fault.Text();
  if (c.decoded) {
    EXPECT_EQ(entries * 32, c.set.size());
    EXPECT_EQ(set.dataLength, 5000u);
    EXPECT_EQ(set.firstCluster, 7u);
    EXPECT_TRUE(set.NoFatChain());
    EXPECT_EQ(ExFatTimeText(set.modified), "2024-03-15  10:30");
  } else {
    EXPECT_EQ(fault.field, c.field) << fault.Text();
    EXPECT_GE(entries, 1u) << "a walk always moves on";
  }
}

const std::u16string kLongName = u"A name longer than fifteen characters, 照片.jpg";

INSTANTIATE_TEST_SUITE_P(
    Table, ExFatEntrySets,
    ::testing::Values(
        SetCase{"live set", EntrySet(kLongName, 5000), true, ""},
        SetCase{"deleted set: the checksum holds with the in-use bits restored", Deleted(EntrySet(kLongName, 5000)),
                true, ""},
        SetCase{"a changed byte breaks the checksum", WithByte(EntrySet(kLongName, 5000), 60, 0x99), false,
                "set checksum"},
        SetCase{"deleted and changed", WithByte(Deleted(EntrySet(u"short.txt", 5000)), 60, 0x99), false,
                "set checksum"},
        SetCase{"no stream extension after the file entry", WithByte(EntrySet(u"short.txt", 5000), 32, 0xC1), false,
                "stream entry type"},
        SetCase{"one secondary entry only", WithByte(EntrySet(u"short.txt", 5000), 1, 1), false, "secondary count"},
        SetCase{"more secondary entries than the directory holds", WithByte(EntrySet(u"short.txt", 5000), 1, 18),
                false, "set length"}),
    NameFromWhat());

TEST(ExFatEntrySets, LongNamesSpanTheirNameEntries) {
  const Bytes bytes = EntrySet(kLongName, 5000);
  ExFatEntrySet set;
  size_t entries = 0;
  DecodeError fault;
  ASSERT_TRUE(DecodeExFatEntrySet(bytes, 0, &set, &entries, &fault)) << fault.Text();
  EXPECT_EQ(set.name, "A name longer than fifteen characters, 照片.jpg");
}

}  // namespace
