#pragma once
// Writing a recoverable file's content out, shared by every kind of file.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/FileOutput.h"

// Reads n bytes of the content at offset into buffer, which holds a whole
// chunk; false on a read error.
using ContentReader = std::function<bool(uint64_t offset, uint8_t* buffer, uint32_t n)>;

// Creates path, which must not exist yet, with length bytes read chunk by
// chunk. False, with the reason and its kind, when the file could not be
// created, read or written in full; what was written before a failure stays.
bool WriteFileContent(const std::string& path, uint64_t length, uint32_t chunkSize, const ContentReader& read,
                      std::string* error, WriteFault* fault = nullptr);
// Creates path, which must not exist yet, with text (a report); false, with the reason, when it cannot.
bool WriteTextFile(const std::string& path, const std::string& text, std::string* error,
                   WriteFault* fault = nullptr);
