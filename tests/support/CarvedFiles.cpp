#include "support/CarvedFiles.h"

#include <cstring>

Bytes Segment(uint8_t marker, size_t payload) {
  Bytes s(4 + payload, 0x11);
  s[0] = 0xFF;
  s[1] = marker;
  s[2] = static_cast<uint8_t>((payload + 2) >> 8);
  s[3] = static_cast<uint8_t>(payload + 2);
  return s;
}

Bytes Jpeg(size_t scanBytes, uint8_t start) {
  Bytes j{0xFF, 0xD8};
  Bytes app = Segment(start, 14);
  std::memcpy(app.data() + 4, start == 0xE1 ? "Exif" : "JFIF", 4);
  if (start != 0xDB) j.insert(j.end(), app.begin(), app.end());
  Bytes dqt = Segment(0xDB, 65);
  j.insert(j.end(), dqt.begin(), dqt.end());
  Bytes sos = Segment(0xDA, 10);
  j.insert(j.end(), sos.begin(), sos.end());
  j.resize(j.size() + scanBytes, 0x5A);
  j.push_back(0xFF);
  j.push_back(0xD9);
  return j;
}
