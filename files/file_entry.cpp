#include "files/file_entry.h"

#include "files/cp932.h"

namespace {

FileEntry SplitAt(std::string path, std::ptrdiff_t sep, std::int64_t size) {
  FileEntry e;
  const auto cut = static_cast<std::size_t>(sep + 1);
  e.folder = path.substr(0, cut);
  e.name = path.substr(cut);
  e.path = std::move(path);
  e.size = size;
  return e;
}

}  // namespace

FileEntry MakeFileEntry(std::string path, std::int64_t size) {
  const std::ptrdiff_t sep = FindLastSeparator(path);
  return SplitAt(std::move(path), sep, size);
}

FileEntry MakePosixFileEntry(std::string path, std::int64_t size) {
  const std::size_t pos = path.rfind('/');
  const std::ptrdiff_t sep = pos == std::string::npos ? -1 : static_cast<std::ptrdiff_t>(pos);
  return SplitAt(std::move(path), sep, size);
}
