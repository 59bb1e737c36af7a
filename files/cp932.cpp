#include "files/cp932.h"

namespace {

// Walks the path one character at a time and calls visit(position) for every single-byte
// backslash. A lead byte followed by a valid trail byte is one character; a lead byte at the
// end of the text, or followed by a byte that cannot close it, stands alone.
template <typename Visit>
void ForEachSeparator(std::string_view path, Visit visit) {
  const std::size_t len = path.size();
  std::size_t i = 0;
  while (i < len) {
    const auto b = static_cast<unsigned char>(path[i]);
    if (cp932::IsLeadByte(b) && i + 1 < len && cp932::IsTrailByte(static_cast<unsigned char>(path[i + 1]))) {
      i += 2;
      continue;
    }
    if (b == '\\') visit(i);
    ++i;
  }
}

}  // namespace

std::ptrdiff_t FindLastSeparator(std::string_view path) {
  std::ptrdiff_t last = -1;
  ForEachSeparator(path, [&](std::size_t pos) { last = static_cast<std::ptrdiff_t>(pos); });
  return last;
}

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && FindLastSeparator(path) == static_cast<std::ptrdiff_t>(path.size() - 1);
}

std::string FolderOf(std::string_view path) {
  const std::ptrdiff_t sep = FindLastSeparator(path);
  return std::string(path.substr(0, static_cast<std::size_t>(sep + 1)));
}
