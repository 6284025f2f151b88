#pragma once
// Why an on-disk structure was rejected: which structure, where, the value
// found and what was expected. Readers keep their result conventions (false,
// null, 0) and hold the last of these for whoever must tell the user.

#include <cstdint>
#include <string>

struct DecodeError {
  std::string structure;  // "FILE record 17", "NTFS boot sector"
  uint64_t offset = 0;    // byte offset in the structure
  std::string field;      // what was read there
  std::string found;
  std::string expected;

  bool empty() const { return structure.empty(); }
  // "FILE record 17, byte 0x1fe (update sequence): found 0x0003, expected 0x0002"
  std::string Text() const;
};

// Hexadecimal text of a value read from the disk, for found and expected.
std::string HexValue(uint64_t value);

// A rejected structure goes to the diagnostic stream, which is silent unless
// asked for.
void ReportRejected(const DecodeError& error);
