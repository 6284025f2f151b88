#pragma once
// The readers' few diagnostic lines. They go to standard output, where a
// windowed program shows nothing; a tool whose output is data moves them.

#include <cstdio>

void SetDiagnosticStream(std::FILE* stream);
void DiagnosticPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The analysers' trace, for a debugger's eyes only: written as lines to the
// trace stream when one is set, else dropped.
void SetTraceStream(std::FILE* stream);
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
