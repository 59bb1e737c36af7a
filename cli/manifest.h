#pragma once
// The manifest a delivery leaves in its folder: every file and folder it made there, each with
// what identifies it (its device and inode, and for a file it wrote or copied its size and time
// of change), so that a later run removes only what is still exactly what was made: a user's own
// file put at one of its names, or one written into it since, is never taken for it.
//
// Format: "zumibo-fit manifest 2\n", then per entry five fields each ended by a NUL byte: the
// path relative to the folder, the kind (D folder, L hard link, C copy, W written), the device,
// the inode, the size and the time of change in nanoseconds (the last four in decimal). Version 1
// held only the paths, folders with a '/' at their end; it is still read, its entries with no
// identity to check but their kind.

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr const char* kManifestName = ".zumibo-fit-manifest";

enum class EntryKind : char { kFolder = 'D', kLink = 'L', kCopy = 'C', kWritten = 'W' };

struct MadeEntry {
  std::string path;  ///< relative to the delivery's folder, without a '/' at the end
  EntryKind kind = EntryKind::kWritten;
  bool identified = true;  ///< false for an entry of a version 1 manifest
  std::uint64_t device = 0, inode = 0;
  std::int64_t size = 0, mtimeNs = 0;
};

/// The entry made at `path` as it stands now, as `st` (from lstat) shows it.
MadeEntry EntryOf(const std::string& path, EntryKind kind, const struct stat& st);

class Manifest {
 public:
  enum class Read { kNone, kRead, kForeign, kUnreadable };
  /// Reads the manifest in `folder`: kNone when there is none, kForeign when it is not one this
  /// zumibo-fit reads.
  Read ReadFrom(int folder);
  void Add(MadeEntry entry);
  /// The entry recorded at `path`, or nullptr.
  const MadeEntry* Find(const std::string& path) const;
  bool Empty() const { return m_entries.empty(); }
  const std::vector<MadeEntry>& Entries() const { return m_entries; }
  /// The manifest as it is written (version 2).
  std::string Text() const;
  /// Whether what stands at `name` in `folder` is the entry recorded at `path`, unchanged: its
  /// kind, and where known its identity (a link: the file it is; a copy or a written file: that
  /// and its size and time of change; a folder: the folder). Follows no symbolic link.
  bool Unchanged(int folder, const std::string& name, const std::string& path) const;

 private:
  void Sort();
  std::vector<MadeEntry> m_entries;  ///< sorted by path once read
  bool m_sorted = true;
};
