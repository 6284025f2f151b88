#pragma once
// The readers' and the scan's diagnostic lines, and the structures they
// reject: silent unless a stream is set (the CLI's --verbose, the desktop
// program's MAROVI_VERBOSE environment variable).

#include <cstdio>

void SetDiagnosticStream(std::FILE* stream);
bool DiagnosticsEnabled();
void DiagnosticPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
