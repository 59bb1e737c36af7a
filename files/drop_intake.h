#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "files/file_set.h"

/// Merges the files of one drop into the source set: one entry per path (a path found again
/// takes the size just read), then the standard order, then no file that is already a result.
class DropIntake {
 public:
  DropIntake(FileSet& source, FileSet& result);
  void Add(FileEntry entry);
  /// Sorts the source set and removes every entry whose path is in the result set.
  void Finish();

 private:
  FileSet& m_source;
  FileSet& m_result;
  std::unordered_map<std::string_view, FileEntry*> m_byPath;  ///< keys point into the entries, which never move
};
