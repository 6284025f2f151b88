#include "support/Fixtures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

// An image a test made for itself is given by its own path.
std::string FixturePath(const std::string& image) {
  if (std::filesystem::path(image).is_absolute()) return image;
  return std::string(MAROVI_FIXTURE_DIR) + "/" + image;
}

std::vector<ManifestEntry> LoadManifest(const std::string& image) {
  std::ifstream in(std::string(MAROVI_SOURCE_FIXTURES) + "/" + image + ".manifest.tsv");
  std::vector<ManifestEntry> entries;
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestEntry e;
    std::string size, mtime;
    std::getline(fields, e.state, '\t');
    std::getline(fields, e.path, '\t');
    std::getline(fields, e.name, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, e.sha256, '\t');
    e.size = std::stoull(size);
    entries.push_back(e);
  }
  return entries;
}

namespace {
std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1) {
    parts.push_back(path.substr(start, slash - start));
  }
  parts.push_back(path.substr(start));
  return parts;
}

bool SegmentMatches(const std::string& pattern, const std::string& segment) {
  if (pattern == "*") return true;
  if (pattern != "dir*") return pattern == segment;
  return segment.size() > 3 && segment.rfind("dir", 0) == 0 &&
         segment.find_first_not_of("0123456789", 3) == std::string::npos;
}
}  // namespace

bool PathMatches(const std::string& pattern, const std::string& path) {
  const std::vector<std::string> p = Split(pattern), s = Split(path);
  if (p.size() != s.size()) return false;
  for (size_t i = 0; i < p.size(); ++i) {
    if (!SegmentMatches(p[i], s[i])) return false;
  }
  return true;
}

#ifdef _WIN32
const char* const kMissingPathReason = "(error 3)";
#else
const char* const kMissingPathReason = "No such file or directory";
#endif

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<std::string> FindFilesMatching(const std::string& root, const std::string& pattern) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(PathOf(root), ec)) {
    if (!e.is_regular_file()) continue;
    const std::u8string relative = std::filesystem::relative(e.path(), PathOf(root)).generic_u8string();
    if (PathMatches(pattern, std::string(relative.begin(), relative.end()))) found.push_back(Utf8Of(e.path()));
  }
  return found;
}

std::string MakeTempFolder() {
  static std::mt19937_64 random{std::random_device{}()};
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / ("marovi-test-" + std::to_string(random() % 1000000000));
    // Only a folder this call made is handed out.
    if (std::filesystem::create_directory(folder, ec)) return Utf8Of(folder);
  }
  return std::string();
}
