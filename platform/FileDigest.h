#pragma once
// Digests of a written file, read back from where it was written, for the
// recovery report.

#include <string>

struct FileDigests {
  std::string sha256;  // lower-case hexadecimal
  std::string md5;
};

// Reads path whole; false, with the reason, when it cannot be read.
bool DigestFile(const std::string& path, FileDigests* digests, std::string* error);
