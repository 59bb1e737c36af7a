#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/file_set.h"

/// Merges the files of one drop into the source set: one entry per path (a path found again
/// takes the size just read), then the standard order, then no file that is already a result.
/// New entries are held until Finish, which sorts them among themselves where they lie side by
/// side in memory and then merges them into the source set, so that even hundreds of thousands
/// of files take well under a second.
class DropIntake {
 public:
  DropIntake(FileSet& source, FileSet& result);
  void Add(FileEntry entry);
  /// Puts the new entries into the source set, sorts it and removes every entry whose path is
  /// in the result set.
  void Finish();

 private:
  static constexpr std::size_t kChunk = 4096;  ///< new entries per block; blocks never move

  FileEntry& Added(std::size_t i) { return m_added[i / kChunk][i % kChunk]; }

  FileSet& m_source;
  FileSet& m_result;
  /// Every path known to the intake, an entry of the source set or a new one, viewed in the
  /// entry that holds it (neither moves before Finish).
  std::unordered_map<std::string_view, FileEntry*> m_known;
  std::vector<std::unique_ptr<FileEntry[]>> m_added;
  std::size_t m_addedCount = 0;
};
