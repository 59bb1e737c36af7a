#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_set.h"

/// Merges the files of one drop into the source set: one entry per path (a path found again
/// takes the size just read), then the standard order, then no file that is already a result.
/// New entries are held until Finish, which sorts them among themselves in a plain array and
/// then merges them into the source set, so even hundreds of thousands of files take well under
/// a second.
class DropIntake {
 public:
  DropIntake(FileSet& source, FileSet& result);
  void Add(FileEntry entry);
  /// Puts the new entries into the source set, sorts it and removes every entry whose path is
  /// in the result set.
  void Finish();

 private:
  /// A path known to the intake: an entry of the source set, or one of the new entries.
  struct Slot {
    std::uint64_t hash = 0;
    FileEntry* held = nullptr;  ///< in the source set already
    std::uint32_t added = 0;    ///< otherwise its index among the new entries
    bool used = false;
  };
  /// The slot of the path: the one that holds it, or the free one where it belongs.
  Slot& SlotOf(std::string_view path, std::uint64_t hash);
  const std::string& PathOf(const Slot& s) const { return s.held ? s.held->path : m_added[s.added].path; }
  void Remember(Slot slot);

  FileSet& m_source;
  FileSet& m_result;
  std::vector<Slot> m_slots;  ///< open addressing: a power of two in size, at most half full
  std::size_t m_used = 0;
  std::vector<FileEntry> m_added;
};
