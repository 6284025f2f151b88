#include "platform/Diagnostics.h"

#include <atomic>
#include <cstdarg>

namespace {
std::atomic<std::FILE*> g_stream{nullptr};
}

void SetDiagnosticStream(std::FILE* stream) { g_stream = stream; }

void DiagnosticPrintf(const char* format, ...) {
  std::FILE* stream = g_stream.load();
  if (stream == nullptr) stream = stdout;
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
}
