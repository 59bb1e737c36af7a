#include "discs/model.h"

#include <algorithm>

namespace {

// An image of one file in its root folder: 31 sectors (genisoimage) or 33 (xorriso) of
// descriptors, path tables and root folders, then 150 sectors of padding.
constexpr std::int64_t kEmptyImage = 183 * kSectorBytes;
// A directory record in the ISO 9660 tree with its Rock Ridge fields (about 120 bytes and the
// name) and one in the Joliet tree (33 bytes and the name in UCS-2, cut at 64 characters),
// with room for the end of a sector that no record may cross.
constexpr std::int64_t kRecordBytes = 180;
// Per folder besides its record: its first sector in both trees, its "." and ".." records
// and one entry in each of the four path tables.
constexpr std::int64_t kFolderExtents = 2 * kSectorBytes;
constexpr std::int64_t kDotRecords = 300;
constexpr std::int64_t kPathTables = 4;
constexpr std::int64_t kPathTableEntry = 8;
// The largest extent: a longer file is recorded as several extents (ISO level 3).
constexpr std::int64_t kLargestExtent = 0xFFFFF800;

std::int64_t RecordBytes(std::size_t nameLength) {
  const std::int64_t n = static_cast<std::int64_t>(nameLength);
  return kRecordBytes + 3 * std::min<std::int64_t>(n, 64) + 2 * std::max<std::int64_t>(n - 64, 0);
}

}  // namespace

std::int64_t FixedBytes(const DiscModel& model) { return model.records ? kEmptyImage : model.reserve; }

std::int64_t FileBytes(const DiscModel& model, std::int64_t size) {
  const std::int64_t block = std::max<std::int64_t>(model.block, 1);
  const std::int64_t blocks = size / block + (size % block != 0);
  return blocks > INT64_MAX / block ? INT64_MAX : blocks * block;
}

std::int64_t FileRecordBytes(const DiscModel& model, std::string_view path, std::int64_t size) {
  if (!model.records) return 0;
  const std::size_t slash = path.rfind('/');
  const std::int64_t extents = std::max<std::int64_t>(1, size / kLargestExtent + (size % kLargestExtent != 0));
  return extents * RecordBytes(slash == std::string_view::npos ? path.size() : path.size() - slash - 1);
}

// The folders above a file, from the deepest up to the first one `seen` holds (once a folder
// is known, so are those above it), each given to `visit`.
template <typename Visit>
void NewFolders(std::string_view path, const std::unordered_set<std::string_view>& seen, Visit visit) {
  for (std::size_t end = path.rfind('/'); end != std::string_view::npos && end > 0; end = path.rfind('/', end - 1)) {
    const std::string_view folder = path.substr(0, end);
    if (seen.count(folder)) return;
    visit(folder);
  }
}

std::int64_t DiscRecords::Adding(std::string_view path, std::int64_t size) const {
  std::int64_t bytes = FileRecordBytes(m_model, path, size);
  if (!m_model.records) return bytes;
  NewFolders(path, m_seen, [&](std::string_view folder) {
    const std::size_t start = folder.rfind('/');
    const std::size_t name = start == std::string_view::npos ? folder.size() : folder.size() - start - 1;
    bytes += kFolderExtents + RecordBytes(name) + kDotRecords +
             kPathTables * (kPathTableEntry + static_cast<std::int64_t>(name));
  });
  return bytes;
}

void DiscRecords::AddFile(std::string_view path, std::int64_t size) {
  m_bytes += Adding(path, size);
  if (m_model.records) NewFolders(path, m_seen, [&](std::string_view folder) { m_seen.insert(folder); });
}
