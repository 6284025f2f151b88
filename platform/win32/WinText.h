#pragma once
// UTF-8 paths and texts to the system's UTF-16 and back, and the system's
// text for an error code.

#include <windows.h>

#include <string>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string SystemErrorText(DWORD code);
