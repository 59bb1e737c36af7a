#pragma once
// How many bytes files take on a disc mastered as ISO 9660 with Joliet and Rock Ridge names
// (genisoimage -J -joliet-long -R, xorriso -as mkisofs -J -joliet-long -R), with or without a
// UDF bridge (genisoimage -udf). Fitted to what the tools report with -print-size for
// collections of 10 to 100,000 files, and kept above it: each file's data in whole blocks, a
// directory record per name in both trees, two sectors per folder (its extents in both trees)
// with its records and path-table entries, and a fixed part (volume descriptors, path tables,
// root folders and the 150 sectors of padding both tools add); with UDF, a file entry per name
// and per folder, their identifiers, and UDF's own descriptors.

#include <cstddef>
#include <cstdint>
#include <string_view>

/// The sector of every ISO 9660 disc.
constexpr std::int64_t kSectorBytes = 2048;

/// The file systems a disc is mastered with: ISO 9660 with Joliet (long names) and Rock Ridge,
/// or that with a UDF bridge beside it (genisoimage -udf).
enum class DiscFileSystem { kIso, kIsoUdf };

struct DiscModel {
  std::int64_t block = kSectorBytes;  ///< each file's data is rounded up to whole blocks (1: byte-exact)
  bool records = true;                ///< count the measured file-system records; false: only `reserve`
  std::int64_t reserve = 0;           ///< with records off, the bytes set aside on each disc
  DiscFileSystem fileSystem = DiscFileSystem::kIso;
};

/// The fixed part: what an image holding no file at all takes, or the reserve.
std::int64_t FixedBytes(const DiscModel& model);
/// A file's data: `size` bytes in whole blocks.
std::int64_t FileBytes(const DiscModel& model, std::int64_t size);
/// A file's own records at `path` (relative to the disc's root, with '/'), without its folders.
std::int64_t FileRecordBytes(const DiscModel& model, std::string_view path, std::int64_t size);

/// A folder's own part at `path` (relative to the disc's root, with '/'): its extents, its record
/// in the folder above, its "." and ".." and its path-table entries (nothing without records).
std::int64_t FolderRecordBytes(const DiscModel& model, std::string_view path);
