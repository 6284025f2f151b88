#include "platform/Diagnostics.h"

#include <atomic>
#include <cstdarg>

namespace {
std::atomic<std::FILE*> g_stream{nullptr};
}

void SetDiagnosticStream(std::FILE* stream) { g_stream = stream; }

bool DiagnosticsEnabled() { return g_stream.load() != nullptr; }

void DiagnosticPrintf(const char* format, ...) {
  std::FILE* stream = g_stream.load();
  if (stream == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
}
