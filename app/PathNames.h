#pragma once
// Names from the disk become path components only through here.

#include <string>

// A name that stays inside its folder: separators and NUL become '_', and
// "." and ".." (or an empty name) become underscores.
std::string SafePathName(const std::string& name);
// "name (2).ext" for the n-th file of one name in one folder.
std::string NumberedName(const std::string& name, unsigned n);
