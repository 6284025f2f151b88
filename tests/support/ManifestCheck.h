#pragma once

#include <string>

#include "support/FixtureCases.h"

// Expects every file the manifest lists for the case below root, by tree
// path and SHA-256; returns how many it expected.
size_t ExpectRecoveredAsManifest(const std::string& root, const FixtureCase& c);
