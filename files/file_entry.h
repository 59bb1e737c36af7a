#pragma once

#include <cstdint>
#include <string>

/// One file: its full path split into folder (ending with the separator) and name, and its size.
/// Invariant: path == folder + name; size is never negative.
struct FileEntry {
  std::string name;
  std::string folder;
  std::string path;
  std::int64_t size = 0;
};

/// An entry for a Windows path (code page 932), split at its last backslash.
FileEntry MakeFileEntry(std::string path, std::int64_t size);

/// An entry for a POSIX path, split at its last '/'.
FileEntry MakePosixFileEntry(std::string path, std::int64_t size);
