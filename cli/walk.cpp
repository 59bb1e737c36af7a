#include "cli/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/messages.h"

namespace {

Identity IdentityOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::string Join(const std::string& folder, const char* name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string JoinOnDisc(const std::string& folder, const char* name) {
  return folder.empty() ? name : folder + "/" + name;
}

// A folder open for listing, closed however the listing ends.
class Listing {
 public:
  explicit Listing(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && !(m_dir = fdopendir(fd))) {
      m_error = errno;
      close(fd);
    } else if (fd < 0) {
      m_error = errno;
    }
  }
  ~Listing() {
    if (m_dir) closedir(m_dir);
  }
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  bool Open() const { return m_dir != nullptr; }
  int Error() const { return m_error; }
  int Fd() const { return dirfd(m_dir); }
  const dirent* Next() { return readdir(m_dir); }

 private:
  DIR* m_dir = nullptr;
  int m_error = 0;
};

bool DotOrDotDot(const char* name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

}  // namespace

FileStat StatOf(const struct stat& st) {
  return {IdentityOf(st), static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// A folder waiting to be walked, and the chain of folders above it (for links back up).
struct FitWalker::Folder {
  std::string path, onDisc;
  Identity id;
  int above;  ///< index of the folder above in the walk's chain, -1 for a root
};

void FitWalker::Unreadable(const std::string& path, int error, bool folder, std::int64_t size) {
  Warn("cannot read " + path + ": " + std::strerror(error) + ", skipped");
  m_into.leftOut.push_back(
      {path, size, std::string(folder ? "folder cannot be read: " : "cannot be read: ") + std::strerror(error)});
}

void FitWalker::AddRoot(const std::string& path, const std::string& top) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    const int error = errno;
    struct stat link;
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      ++m_counts.brokenLinks;
      Warn(path + " is a link that leads nowhere, skipped");
    } else {
      Unreadable(path, error, false);
    }
    return;
  }
  if (S_ISDIR(st.st_mode)) return Walk(path, top, IdentityOf(st));
  if (!S_ISREG(st.st_mode)) {
    ++m_counts.special;
    m_into.leftOut.push_back({path, -1, "not a regular file"});
    return;
  }
  if (access(path.c_str(), R_OK) != 0) return Unreadable(path, errno, false, st.st_size);
  m_into.Add(path, top, st.st_size, StatOf(st), st.st_nlink > 1);
}

bool FitWalker::ResultFolder(const Identity& id) const {
  return std::find(m_rules.skipFolders.begin(), m_rules.skipFolders.end(), id) != m_rules.skipFolders.end();
}

void FitWalker::Walk(const std::string& rootPath, const std::string& rootOnDisc, Identity rootId) {
  if (ResultFolder(rootId)) return;
  std::vector<Folder> chain;  // every folder walked so far, each with the one above it
  std::vector<int> pending;   // indices into `chain` still to list
  chain.push_back({rootPath, rootOnDisc, rootId, -1});
  pending.push_back(0);
  while (!pending.empty() && !Stopped()) {
    const int at = pending.back();
    pending.pop_back();
    Listing listing(chain[at].path);
    if (!listing.Open()) {
      Unreadable(chain[at].path, listing.Error(), true);
      continue;
    }
    const std::size_t firstChild = pending.size();
    while (const dirent* d = listing.Next()) {
      if (Stopped()) return;
      if ((++m_seen & 1023) == 0 && m_rules.everyThousand) m_rules.everyThousand();
      const char* name = d->d_name;
      if (DotOrDotDot(name)) continue;
      struct stat st;
      if (fstatat(listing.Fd(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        Unreadable(Join(chain[at].path, name), errno, false);
        continue;
      }
      bool linked = false;
      if (S_ISLNK(st.st_mode)) {
        if (!m_rules.followLinks) {
          ++m_counts.links;
          continue;
        }
        if (fstatat(listing.Fd(), name, &st, 0) != 0) {
          ++m_counts.brokenLinks;
          Warn("cannot read " + Join(chain[at].path, name) + ": " + std::strerror(errno) + ", skipped");
          continue;
        }
        linked = true;
      }
      const bool folder = S_ISDIR(st.st_mode);
      if (!folder && !S_ISREG(st.st_mode)) {
        ++m_counts.special;
        continue;
      }
      std::string onDisc = JoinOnDisc(chain[at].onDisc, name);
      if (m_rules.excludes && m_rules.excludes->Excluded(onDisc, folder)) {
        ++m_counts.excluded;
        continue;
      }
      std::string path = Join(chain[at].path, name);
      const Identity id = IdentityOf(st);
      if (!folder) {
        if (faccessat(listing.Fd(), name, R_OK, 0) != 0) {
          Unreadable(path, errno, false, st.st_size);
          continue;
        }
        // Names of one file (hard links, or paths along followed links) become names of one candidate.
        m_into.Add(path, onDisc, st.st_size, StatOf(st), linked || m_rules.followLinks || st.st_nlink > 1);
        continue;
      }
      bool skip = ResultFolder(id);
      // A folder above this one, reached again through a link, would be walked without end.
      for (int up = at; up >= 0 && !skip; up = chain[up].above) {
        if (chain[up].id == id) {
          ++m_counts.loops;
          skip = true;
        }
      }
      if (skip) continue;
      chain.push_back({std::move(path), std::move(onDisc), id, at});
      pending.push_back(static_cast<int>(chain.size() - 1));
    }
    // Depth first, subfolders in listing order.
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
  }
}
