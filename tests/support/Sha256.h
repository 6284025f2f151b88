#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Hex SHA-256 of bytes, for comparing recovered files with the manifests.
std::string Sha256Hex(const uint8_t* data, size_t length);
std::string Sha256OfFile(const std::string& path);
// A file's bytes; empty when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
