#pragma once
// The hex view's rows: an offset column, the bytes in hex and as characters.

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kHexBytesPerRow = 8;
// What a view wide enough shows in a row.
constexpr size_t kWideHexBytesPerRow = 16;

size_t HexRowCount(size_t length, size_t perRow = kHexBytesPerRow);
// "00000010  48 65 6C 6C 6F 00 0A FF  Hello..." for the row'th row; bytes
// past the end are blanks, so the character column stays aligned.
std::string HexRowText(const uint8_t* data, size_t length, size_t row, size_t perRow = kHexBytesPerRow);
// Characters in a row of perRow bytes.
size_t HexRowWidth(size_t perRow);
