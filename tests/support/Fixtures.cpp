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

bool PathMatches(const std::string& pattern, const std::string& path) {
  const std::string wildcard = "dir*";
  if (pattern.size() >= wildcard.size() && pattern.compare(pattern.size() - 4, 4, wildcard) == 0) {
    const std::string prefix = pattern.substr(0, pattern.size() - 1);
    if (path.rfind(prefix, 0) != 0 || path.size() == prefix.size()) return false;
    return path.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
  }
  return pattern == path;
}

std::string MakeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "marovi-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  return made ? std::string(made) : std::string();
}
