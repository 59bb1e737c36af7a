#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "files/file_entry.h"

/// A three-way comparison of two entries, passed by reference to FileSet::Find and FileSet::Sort.
class FileComparator {
 public:
  virtual ~FileComparator() = default;
  virtual int Compare(const FileEntry* a, const FileEntry* b) const = 0;
};

/// The standard order: larger size first; equal sizes by full path in ascending unsigned byte order.
class StandardOrderComparator : public FileComparator {
 public:
  int Compare(const FileEntry* a, const FileEntry* b) const override;
};

/// 0 when the two full paths are byte for byte equal, 1 otherwise (never negative).
class PathEqualityComparator : public FileComparator {
 public:
  int Compare(const FileEntry* a, const FileEntry* b) const override;
};

struct FileSetNode {
  FileEntry entry;
  FileSetNode* next = nullptr;
  FileSetNode* previous = nullptr;
};

/// An ordered, doubly linked collection of entries with one built-in cursor shared by all users.
/// Entry pointers handed out stay valid until that entry is removed or the set is emptied;
/// sorting relinks nodes and never moves entries.
class FileSet {
 public:
  FileSet() = default;
  FileSet(const FileSet&) = delete;
  FileSet& operator=(const FileSet&) = delete;
  ~FileSet();

  int GetCount() const { return m_count; }
  void ResetCursor(bool atHead);
  FileEntry* GetCurrent() const { return m_cursor ? &m_cursor->entry : nullptr; }
  /// Next node; from no cursor the walk restarts at the head.
  void MoveNext();
  /// Previous node; from no cursor the walk starts at the tail.
  void MovePrevious();
  /// First entry from the head for which Compare(key, entry) is 0; leaves the cursor on it
  /// (or on none, returning null).
  FileEntry* Find(const FileEntry& key, const FileComparator& comparator);
  /// Appends a copy at the tail and leaves the cursor on it. Throws std::bad_alloc with the set unchanged.
  FileEntry* Add(const FileEntry& entry);
  /// The same, taking the entry over instead of copying it.
  FileEntry* Add(FileEntry&& entry);
  /// Unlinks and frees the cursor's node; the cursor becomes none. False when there was no cursor.
  bool RemoveCurrent();
  /// Puts the set in the comparator's order by relinking its nodes (a stable natural merge sort,
  /// in O(n log n) for every input); the cursor ends anywhere.
  void Sort(const FileComparator& comparator);
  void RemoveAll();
  /// Exchanges the whole contents (entries, order and cursors) of two sets; allocates nothing.
  void Swap(FileSet& other) noexcept;
  /// Removes every entry whose path is in `paths`, in one walk; the cursor ends as none.
  /// Returns the removed entries' positions from the head (before the removal), ascending.
  std::vector<int> RemovePaths(const std::unordered_set<std::string>& paths);

 private:
  void Unlink(FileSetNode* node);
  void InsertBefore(FileSetNode* node, FileSetNode* before);

  FileSetNode* m_head = nullptr;
  FileSetNode* m_tail = nullptr;
  FileSetNode* m_cursor = nullptr;
  int m_count = 0;
};

/// The full paths of a set's entries (walks the set with its cursor).
std::unordered_set<std::string> PathsOf(FileSet& set);
