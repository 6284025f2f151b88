#include "volume/DecodeError.h"

#include <cstdio>

#include "platform/Diagnostics.h"

std::string HexValue(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string DecodeError::Text() const {
  std::string text = structure + ", byte " + HexValue(offset);
  if (!field.empty()) text += " (" + field + ")";
  text += ": found " + found;
  if (!expected.empty()) text += ", expected " + expected;
  return text;
}

void ReportRejected(const DecodeError& error) {
  if (!DiagnosticsEnabled()) return;
  DiagnosticPrintf("rejected: %s\n", error.Text().c_str());
}
