#include "support/ManifestCheck.h"

#include <gtest/gtest.h>

#include "support/Fixtures.h"
#include "support/Sha256.h"

size_t ExpectRecoveredAsManifest(const std::string& root, const FixtureCase& c) {
  size_t expected = 0;
  for (const ManifestEntry& e : LoadManifest(c.Manifest())) {
    if (!ExpectedWhole(e.state, e.path, c)) continue;
    ++expected;
    bool same = false;
    for (const std::string& path : FindFilesMatching(root, e.path + "/" + e.name)) {
      // A file whose clusters were taken since is written, with what they now hold.
      same = same || e.state == "overwritten" || Sha256OfFile(path) == e.sha256;
    }
    EXPECT_TRUE(same) << e.path << "/" << e.name;
  }
  return expected;
}


size_t CountListedInPart(const FixtureCase& c) {
  size_t count = 0;
  for (const ManifestEntry& e : LoadManifest(c.Manifest())) count += ListedInPart(e.state, e.path, c) ? 1 : 0;
  return count;
}
