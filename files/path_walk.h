#pragma once
// Collecting the files under dropped paths: a file stands for itself, a folder for every file
// beneath it, walked depth first with no depth limit. Names that begin with "." are skipped.
// A folder reached again through a link is not walked again, so a link that leads back into
// the tree can neither hang the walk nor list a file twice; and with FolderPaths, a folder
// reached in a later walk through another path lists its files under the path it was first
// reached by, so they replace their earlier entries instead of doubling them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "files/file_entry.h"

using FolderId = std::pair<std::uint64_t, std::uint64_t>;  // volume and file number

/// The path by which each folder was first reached, kept across walks. Folders walked on paths
/// without links are noted by path alone, since identifying a folder costs a file-system round
/// trip: only a link can lead into such a folder under another path, so they are identified
/// once a link makes it matter, and a dropped file's folder costs one identification.
class FolderPaths {
 public:
  /// Notes a folder walked while no link was involved, on a path with no link above it.
  void NoteWalked(const std::string& path);
  /// The path to use for a folder reached through a link: the first one known, while it still
  /// leads there.
  std::string PathThroughLink(const FolderId& id, const std::string& path);
  /// The path to use for the folder of a dropped file.
  std::string PathForFilesIn(const std::string& folder);
  /// How many folders have been identified so far.
  std::size_t Identified() const { return m_identified; }

 private:
  bool Identify(const std::string& folder, FolderId& id);
  /// Looks the folder up among those identified, keeping the first path while it leads there.
  std::string UseIdentified(const FolderId& id, const std::string& path);

  std::vector<std::string> m_unidentified;
  std::unordered_map<std::string, std::string> m_walkedByKey;  ///< folder key -> path walked
  std::map<FolderId, std::string> m_first;
  std::size_t m_identified = 0;
};

// What the walk needs of the file system, per platform.
namespace walk {

enum class Kind { kFolder, kFile, kNeither };
struct Entry {
  std::string name;
  bool folder;
  std::int64_t size;
  bool readable = true;  ///< false for a name whose file cannot be looked at (a broken link) or opened
  bool link = false;     ///< a symbolic link, junction or other reparse point
  bool shared = false;   ///< a file that other paths may lead to (several hard links, or a link)
  FolderId id{};         ///< with shared: the file's volume and number
};

/// Folder, file (with its size) or neither, for a path given by the user; `link` tells whether
/// the path itself is a link.
Kind Inspect(const std::string& path, std::int64_t& size, bool& link);
/// The volume and number of a folder, or of a file.
bool Identify(const std::string& folder, FolderId& id);
/// The folder's entries, or false when it cannot be listed. A nonzero `limit` gives up (false)
/// on a folder of more entries than that. Names that the program could not open as they stand
/// are unreadable entries, named as the program can show them.
bool List(const std::string& folder, std::vector<Entry>& entries, std::size_t limit = 0);
/// Whether the path, or a folder above it, is a link.
bool LinkAbove(const std::string& path);
/// The same text for two paths that name the same folder without a link between them (on
/// Windows, letter case does not matter).
std::string FolderKey(const std::string& folder);
/// The folder's path followed by a name, with one separator between.
std::string Join(const std::string& folder, const std::string& name);
/// The folder part of a path (with its separator) and the name after it.
std::pair<std::string, std::string> Split(const std::string& path);
FileEntry MakeEntry(std::string path, std::int64_t size);

}  // namespace walk

class PathWalker {
 public:
  using FileFound = std::function<void(FileEntry)>;
  /// A path that could not be read (missing, an unreadable folder or a broken link, a name the
  /// program cannot open as it stands, shown as best it can be); the walk goes on without it.
  using PathSkipped = std::function<void(const std::string& path)>;

  explicit PathWalker(FileFound found, PathSkipped skipped = nullptr, FolderPaths* known = nullptr)
      : m_found(std::move(found)), m_skipped(std::move(skipped)), m_known(known) {}

  /// Adds one path: a Windows path (code page 932) on Windows, a POSIX path elsewhere.
  /// Folders walked by earlier calls of the same walker are not walked again.
  void AddPath(const std::string& path);
  /// Adds the paths in order, as AddPath does. Where many of them stand in one folder, that
  /// folder is listed once instead of looking at each path by itself.
  void AddPaths(const std::vector<std::string>& paths);

  /// Links met inside folders are passed to `skipped` instead of followed (a path given to
  /// AddPath is followed all the same, as the user named it).
  void SkipLinks(PathSkipped skipped) { m_linkSkipped = std::move(skipped); }
  /// A file met again under another path (another hard link to it, or a link followed to it)
  /// is passed to `again` instead of listed.
  void ListFilesOnce(PathSkipped again) { m_fileAgain = std::move(again); }
  /// The walk ends as soon as the flag is set; Stopped() tells whether it ended so.
  void StopWhen(const std::atomic<std::uint8_t>* stop) { m_stop = stop; }
  bool Stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

 private:
  void WalkFolder(const std::string& folder, bool link);
  /// From the first link on, every folder is identified: those walked before it, and each new one.
  void StartTracking();
  /// The folder path to name a dropped file's folder by.
  std::string FolderFor(const std::string& folder);
  walk::Kind Inspect(const std::string& path, std::int64_t& size, bool& link) const;
  void Skipped(const std::string& path) {
    if (m_skipped) m_skipped(path);
  }
  /// Whether a file that may have other paths was listed already (and reports it then).
  bool SeenBefore(const FolderId& id, const std::string& path);

  FileFound m_found;
  PathSkipped m_skipped;
  FolderPaths* m_known;
  bool m_tracking = false;
  std::vector<std::string> m_walkedUntracked;
  std::set<FolderId> m_visited;
  std::map<std::string, std::string> m_fileFolders;
  std::unordered_map<std::string, walk::Entry> m_listed;  ///< paths already looked at by AddPaths
  PathSkipped m_linkSkipped, m_fileAgain;
  std::set<FolderId> m_files;
  const std::atomic<std::uint8_t>* m_stop = nullptr;
};
