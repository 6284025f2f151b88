#pragma once
// Small files of the carved formats, built field by field.

#include <cstddef>
#include <cstdint>

#include "support/NtfsImageBuilder.h"

// A JPEG segment: marker, big-endian length counting itself, payload of 0x11.
Bytes Segment(uint8_t marker, size_t payload);
// A JPEG: SOI, an APP0 JFIF (or APP1 Exif) segment, a quantisation table, SOS, scan data, EOI.
Bytes Jpeg(size_t scanBytes, uint8_t start = 0xE0);
