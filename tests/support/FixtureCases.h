#pragma once

#include <ostream>
#include <string>

#include "app/ScanSession.h"

// The fixture images, each with the mode it is scanned in and the result source it gives.
struct FixtureCase {
  const char* what;
  const char* image;
  int32_t mode;
  int32_t source;
};

inline void PrintTo(const FixtureCase& c, std::ostream* os) { *os << c.what; }

inline const FixtureCase kFixtureCases[] = {
    {"ntfs_deleted", "ntfs-sample.img", ModeDeletedFiles, SourceNtfs},
    {"ntfs_universal", "ntfs-sample.img", ModeUniversal, SourceNtfs},
    {"ntfs_fragmented", "ntfs-fragmented.img", ModeDeletedFiles, SourceNtfs},
    {"fat32", "fat32-sample.img", ModeDeletedFiles, SourceFat32},
    {"raw", "raw-carve.img", ModeDeletedFiles, SourceOther},
    {"ntfs_4k_sectors", "ntfs-4k.img", ModeUniversal, SourceNtfs},
    {"fat32_2k_sectors", "fat32-2k.img", ModeDeletedFiles, SourceFat32},
    {"fat32_4k_sectors", "fat32-4k.img", ModeDeletedFiles, SourceFat32},
    {"fat32_full_to_the_last_cluster", "fat32-full.img", ModeDeletedFiles, SourceFat32},
};

// Volumes past 2 TiB, sparse: listed and recovered like the others, but
// never read whole (the read-only test compares every byte of an image).
inline const FixtureCase kLargeFixtureCases[] = {
    {"ntfs_past_2_tib", "ntfs-2tib.img", ModeUniversal, SourceNtfs},
};

// Whether a manifest entry is expected in a scan of this mode: carved files
// only where the signature scan runs.
inline bool Expected(const std::string& state, const FixtureCase& c) {
  if (state == "deleted") return true;
  return state == "carved" && (c.mode == ModeUniversal || c.source != SourceNtfs);
}
