#pragma once
// Names from the disk become path components only through here.

#include <string>

enum class PathNameRules { Posix, Windows };

// A name that stays inside its folder: separators and NUL become '_', and
// "." and ".." (or an empty name) become underscores. Under Windows' rules
// also ':' (an alternate data stream), '*?"<>|', control characters and
// trailing dots and spaces become '_', and a device name (CON, NUL, COM1 ...)
// gets a leading '_'.
std::string SafePathNameFor(const std::string& name, PathNameRules rules);
// By the rules of the system the files are written on.
std::string SafePathName(const std::string& name);
// "name (2).ext" for the n-th file of one name in one folder.
std::string NumberedName(const std::string& name, unsigned n);
// The name shortened to at most limit units of the target (bytes of UTF-8 or
// UTF-16 units, by rules), keeping its extension and whole characters.
std::string FitNameLength(const std::string& name, size_t limit, PathNameRules rules);
// The n-th name to try for a file in one folder: the name itself, then
// "name (2).ext" and so on, each shortened to fit the target.
std::string CandidateName(const std::string& safeName, unsigned n);
