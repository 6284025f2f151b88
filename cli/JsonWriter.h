#pragma once

#include <cstdint>
#include <string>

// A JSON string literal for UTF-8 text; invalid bytes are kept as they are.
std::string JsonString(const std::string& text);
