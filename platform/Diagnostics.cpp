#include "platform/Diagnostics.h"

#include <atomic>
#include <cstdarg>

namespace {
std::atomic<std::FILE*> g_stream{nullptr};
std::atomic<std::FILE*> g_trace{nullptr};
}

void SetTraceStream(std::FILE* stream) { g_trace = stream; }

void DebugTrace(const char* format, ...) {
  std::FILE* stream = g_trace.load();
  if (stream == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
  std::fputc('\n', stream);
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
