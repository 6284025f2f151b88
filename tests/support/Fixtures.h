#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ManifestEntry {
  std::string state;  // deleted or live
  std::string path;   // tree path; "dir*" at its end stands for any placeholder
  std::string name;
  uint64_t size = 0;
  std::string sha256;
};

std::string FixturePath(const std::string& image);
std::vector<ManifestEntry> LoadManifest(const std::string& image);
// True when a path matches a manifest path: "dir*" stands for a numbered
// placeholder or found folder, "*" for any one component.
bool PathMatches(const std::string& pattern, const std::string& path);
// The files below root whose relative paths match the pattern.
std::vector<std::string> FindFilesMatching(const std::string& root, const std::string& pattern);

// A fresh empty folder under the system's temporary folder.
std::string MakeTempFolder();

// The program's paths are UTF-8; the standard library's narrow paths are in
// the system's code page on some systems, so tests convert through these.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

// How the system words the reason for a path whose folder does not exist.
extern const char* const kMissingPathReason;
