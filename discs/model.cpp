#include "discs/model.h"

#include <algorithm>

namespace {

// An image of one file in its root folder: 31 sectors (genisoimage) or 33 (xorriso) of
// descriptors, path tables and root folders, then 150 sectors of padding.
constexpr std::int64_t kEmptyImage = 183 * kSectorBytes;
// A directory record in the ISO 9660 tree with its Rock Ridge fields (about 120 bytes and the
// name) and one in the Joliet tree (33 bytes and the name in UCS-2, cut at 103 characters with
// -joliet-long), with room for the end of a sector that no record may cross.
constexpr std::int64_t kRecordBytes = 180;
// The UDF bridge (genisoimage -udf): its descriptors and root, then for every name a file entry
// of a sector of its own and an identifier in its folder (38 bytes and the name, in 16-bit
// characters where 8 bits do not hold it, to a multiple of 4), and for every folder a sector for
// its entries besides. Fitted to genisoimage -udf -print-size and kept above it.
constexpr std::int64_t kUdfFixed = 250 * kSectorBytes;
constexpr std::int64_t kUdfIdentifier = 42;
constexpr std::int64_t kUdfFolder = kSectorBytes;
// Per folder besides its record: its first sector in both trees, its "." and ".." records
// and one entry in each of the four path tables.
constexpr std::int64_t kFolderExtents = 2 * kSectorBytes;
constexpr std::int64_t kDotRecords = 300;
constexpr std::int64_t kPathTables = 4;
constexpr std::int64_t kPathTableEntry = 8;
// The largest extent: a longer file is recorded as several extents (ISO level 3).
constexpr std::int64_t kLargestExtent = 0xFFFFF800;

// UDF's identifier of a name: 8-bit characters where they hold it (these are at most its UTF-8
// bytes), else 16-bit ones (at most twice its bytes).
std::int64_t UdfIdentifierBytes(std::string_view name) {
  const bool narrow =
      std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return kUdfIdentifier + static_cast<std::int64_t>(name.size()) * (narrow ? 1 : 2);
}

// A name's records in both trees. Measured with -joliet-long: three bytes a character up to 64,
// four from 64 to 103 (records of long names leave more of a sector's end empty), then only the
// Rock Ridge name grows, with its share of the sector ends. The UDF bridge adds its own.
std::int64_t RecordBytes(const DiscModel& model, std::string_view name) {
  const std::int64_t n = static_cast<std::int64_t>(name.size());
  std::int64_t bytes = n <= 64    ? kRecordBytes + 3 * n
                       : n <= 103 ? kRecordBytes - 64 + 4 * n
                                  : 528 + 3 * (n - 103) / 2 + 1;
  if (model.fileSystem == DiscFileSystem::kIsoUdf) bytes += kSectorBytes + UdfIdentifierBytes(name);
  return bytes;
}

}  // namespace

std::int64_t FixedBytes(const DiscModel& model) {
  if (!model.records) return model.reserve;
  return kEmptyImage + (model.fileSystem == DiscFileSystem::kIsoUdf ? kUdfFixed : 0);
}

std::int64_t FileBytes(const DiscModel& model, std::int64_t size) {
  const std::int64_t block = std::max<std::int64_t>(model.block, 1);
  const std::int64_t blocks = size / block + (size % block != 0);
  return blocks > INT64_MAX / block ? INT64_MAX : blocks * block;
}

std::int64_t FileRecordBytes(const DiscModel& model, std::string_view path, std::int64_t size) {
  if (!model.records) return 0;
  const std::size_t slash = path.rfind('/');
  const std::int64_t extents = std::max<std::int64_t>(1, size / kLargestExtent + (size % kLargestExtent != 0));
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  // ISO 9660 records a file of 4 GiB or more in several extents, a record each; UDF in one entry.
  std::int64_t bytes = extents * RecordBytes(model, name);
  if (model.fileSystem == DiscFileSystem::kIsoUdf) bytes -= (extents - 1) * (kSectorBytes + UdfIdentifierBytes(name));
  return bytes;
}

std::int64_t FolderRecordBytes(const DiscModel& model, std::string_view path) {
  if (!model.records) return 0;
  const std::size_t start = path.rfind('/');
  const std::string_view name = start == std::string_view::npos ? path : path.substr(start + 1);
  return kFolderExtents + RecordBytes(model, name) + kDotRecords +
         kPathTables * (kPathTableEntry + static_cast<std::int64_t>(name.size())) +
         (model.fileSystem == DiscFileSystem::kIsoUdf ? kUdfFolder : 0);
}
