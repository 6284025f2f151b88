#include "support/Fixtures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

std::string FixturePath(const std::string& image) { return std::string(MAROVI_FIXTURE_DIR) + "/" + image; }

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

std::vector<std::string> FindFilesMatching(const std::string& root, const std::string& pattern) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root, ec)) {
    if (!e.is_regular_file()) continue;
    const std::string relative = std::filesystem::relative(e.path(), root).string();
    if (PathMatches(pattern, relative)) found.push_back(e.path().string());
  }
  return found;
}

std::string MakeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "marovi-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  return made ? std::string(made) : std::string();
}
