#pragma once
// Collecting the files under dropped paths: a file stands for itself, a folder for every file
// beneath it, walked depth first with no depth limit. Names that begin with "." are skipped,
// and a folder reached again through a link is not walked again, so a link that leads back
// into the tree can neither hang the walk nor list a file twice.

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "files/file_entry.h"

class PathWalker {
 public:
  using FileFound = std::function<void(FileEntry)>;
  /// A path that could not be read (missing, unreadable folder); the walk goes on without it.
  using PathSkipped = std::function<void(const std::string& path)>;

  explicit PathWalker(FileFound found, PathSkipped skipped = nullptr)
      : m_found(std::move(found)), m_skipped(std::move(skipped)) {}

  /// Adds one path: a Windows path (code page 932) on Windows, a POSIX path elsewhere.
  /// Folders walked by earlier calls of the same walker are not walked again.
  void AddPath(const std::string& path);

 private:
  using FolderId = std::pair<std::uint64_t, std::uint64_t>;  // volume and file number
  void WalkFolder(const std::string& folder);
  void Skipped(const std::string& path) {
    if (m_skipped) m_skipped(path);
  }

  FileFound m_found;
  PathSkipped m_skipped;
  std::set<FolderId> m_visited;
};
