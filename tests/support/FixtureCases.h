#pragma once

#include <ostream>
#include <string>

#include "app/ScanSession.h"
#include "filetypes/FormatCheck.h"

// The fixture images, each with the mode it is scanned in and the result
// source it gives; for a whole disk, which partition, and whose manifest
// lists its files (the raw disk's, for the same disk in a container).
struct FixtureCase {
  const char* what;
  const char* image;
  int32_t mode;
  int32_t source;
  int partition = -1;
  const char* manifest = nullptr;

  std::string Manifest() const {
    if (manifest != nullptr) return manifest;
    return partition < 0 ? image : std::string(image) + ".p" + std::to_string(partition);
  }
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
    {"fat12_floppy", "fat12.img", ModeDeletedFiles, SourceFat12},
    {"fat16_with_a_folder_of_many_clusters", "fat16.img", ModeDeletedFiles, SourceFat16},
    {"fat32_deleted_as_they_really_are", "fat32-edge.img", ModeDeletedFiles, SourceFat32},
    {"exfat", "exfat.img", ModeDeletedFiles, SourceExfat},
    {"pictures_and_videos", "media-carve.img", ModeDeletedFiles, SourceOther},
    {"documents_audio_and_archives", "docs-carve.img", ModeDeletedFiles, SourceOther},
    {"used_card_after_a_quick_format", "used-card.img", ModeUniversal, SourceFat16},
};

// The partitions of whole disks.
inline const FixtureCase kPartitionCases[] = {
    {"mbr_primary_ntfs", "disk-fs.img", ModeDeletedFiles, SourceNtfs, 1},
    {"mbr_logical_fat32", "disk-fs.img", ModeDeletedFiles, SourceFat32, 5},
    {"mbr_logical_ntfs", "disk-fs.img", ModeUniversal, SourceNtfs, 6},
    {"gpt_fat32", "disk-fs-gpt.img", ModeDeletedFiles, SourceFat32, 1},
    {"gpt_ntfs", "disk-fs-gpt.img", ModeDeletedFiles, SourceNtfs, 2},
};

// The same disks in image containers, read through libraries the Windows build leaves out.
inline const FixtureCase kContainerCases[] = {
    {"vhdx_fat32", "disk-fs.vhdx", ModeDeletedFiles, SourceFat32, 5, "disk-fs.img.p5"},
    {"vhd_ntfs", "disk-fs.vhd", ModeDeletedFiles, SourceNtfs, 1, "disk-fs.img.p1"},
    {"vmdk_ntfs", "disk-fs.vmdk", ModeDeletedFiles, SourceNtfs, 6, "disk-fs.img.p6"},
    {"qcow2_fat32", "disk-fs.qcow2", ModeDeletedFiles, SourceFat32, 5, "disk-fs.img.p5"},
    {"ewf_split_fat32", "disk-fs-ewf.E01", ModeDeletedFiles, SourceFat32, 5, "disk-fs.img.p5"},
    {"ewf_split_ntfs", "disk-fs-ewf.E01", ModeDeletedFiles, SourceNtfs, 1, "disk-fs.img.p1"},
    {"ewf_gpt_ntfs", "disk-fs-gpt.E01", ModeDeletedFiles, SourceNtfs, 2, "disk-fs-gpt.img.p2"},
};

// Volumes past 2 TiB, sparse: listed and recovered like the others, but
// never read whole (the read-only test compares every byte of an image).
inline const FixtureCase kLargeFixtureCases[] = {
    {"ntfs_past_2_tib", "ntfs-2tib.img", ModeUniversal, SourceNtfs},
};

// Whether a manifest entry is expected in a scan of this mode: carved files,
// whole or in pieces, only where the signature scan runs.
inline bool Expected(const std::string& state, const FixtureCase& c) {
  if (state == "deleted" || state == "overwritten") return true;
  return (state == "carved" || state == "pieces") && (c.mode == ModeUniversal || c.source != SourceNtfs);
}

// A JPEG in pieces is put together only where libjpeg can check the joins
// (the Windows build has none): there it is listed with what was found.
inline bool NeedsTheDecoder(const std::string& state, const std::string& path) {
  return state == "pieces" && path.size() >= 4 && path.compare(path.size() - 4, 4, "/JPG") == 0;
}
inline bool ExpectedWhole(const std::string& state, const std::string& path, const FixtureCase& c) {
  return Expected(state, c) && (CanDecodeJpeg() || !NeedsTheDecoder(state, path));
}
inline bool ListedInPart(const std::string& state, const std::string& path, const FixtureCase& c) {
  return Expected(state, c) && !CanDecodeJpeg() && NeedsTheDecoder(state, path);
}
