#pragma once

#include <string>

#include "support/FixtureCases.h"

// Expects every file the manifest lists for the case below root, by tree
// path and SHA-256; returns how many it expected.
size_t ExpectRecoveredAsManifest(const std::string& root, const FixtureCase& c);
// How many files of the manifest this build lists only with what was found
// of them (JPEGs in pieces, without a JPEG decoder).
size_t CountListedInPart(const FixtureCase& c);
