#pragma once
// How much of a JPEG's header holds together: its EXIF directories where the
// pointers say, with entries of known types; the thumbnails of EXIF and JFXX
// decoding whole; XMP packets of text. Old data in place of part of the
// header leaves the picture decoding as before: only these tell a header
// joined right from one joined a cluster or two off.

#include <cstdint>

#include "platform/ByteOrder.h"

uint32_t HeaderStructuresThatHold(ByteSpan jpeg);
