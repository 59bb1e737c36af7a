#pragma once
// Walking the PATHs zumibo-fit is given, on POSIX file systems. Every file found is accounted
// for: collected, or left out for a reason that is counted or named. Names beginning with '.' are
// taken as any other, as cp -r, rsync -a and tar take them; symbolic links inside folders are
// skipped and counted unless followed, and followed as `cp -rL` follows them (every path present, a link
// back into a folder above it not followed); the names a file has by hard links or links are
// gathered as names of one file.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/collection.h"
#include "cli/exclude.h"

struct stat;

/// The identity and time of change of a file as stat gives them.
FileStat StatOf(const struct stat& st);

struct WalkRules {
  bool followLinks = false;  ///< follow symbolic links inside folders
  const Excludes* excludes = nullptr;
  std::vector<Identity> skipFolders;  ///< folders never walked (where the results are written)
  const std::atomic<std::uint8_t>* stop = nullptr;
  std::function<void()> everyThousand;  ///< called after every 1,024 entries looked at (progress)
};

struct WalkCounts {
  std::size_t links = 0;        ///< symbolic links not followed
  std::size_t loops = 0;        ///< links back into a folder above them
  std::size_t brokenLinks = 0;  ///< links that lead nowhere, each told
  std::size_t special = 0;      ///< devices, pipes and sockets
  std::size_t excluded = 0;     ///< files and folders left out by --exclude
};

class FitWalker {
 public:
  FitWalker(Collection& into, const WalkRules& rules) : m_into(into), m_rules(rules) {}
  /// Collects the files under `path` (itself followed if it is a link, as the user named it),
  /// each under `top` followed by its path below `path` on the disc (`top` empty: at the root);
  /// a file given as `path` goes on the disc as `top`.
  void AddRoot(const std::string& path, const std::string& top);
  bool Stopped() const { return m_rules.stop && m_rules.stop->load(std::memory_order_relaxed); }
  const WalkCounts& Counts() const { return m_counts; }

 private:
  struct Folder;
  void Walk(const std::string& path, const std::string& onDisc, Identity id);
  /// One of the folders results are written to, never walked.
  bool ResultFolder(const Identity& id) const;
  void Unreadable(const std::string& path, int error, bool folder, std::int64_t size = -1);

  Collection& m_into;
  const WalkRules& m_rules;
  WalkCounts m_counts;
  std::size_t m_seen = 0;
};
