#include "cli/link_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <numeric>
#include <set>
#include <utility>

#include "cli/stopping.h"

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
constexpr std::uint64_t kBlock = 4096;

std::string Reason(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The open folders from a disc's folder (owned) down to the one a file goes in. Files come in the
// order of their paths, so that each folder is made and opened once.
class FolderChain {
 public:
  FolderChain(Target& target, int disc, std::string prefix)
      : m_target(target), m_disc(disc), m_prefix(std::move(prefix)) {}
  FolderChain(const FolderChain&) = delete;
  FolderChain& operator=(const FolderChain&) = delete;
  ~FolderChain() {
    Leave(0);
    close(m_disc);
  }

  // The folder of `path` (relative to the disc, with '/'), made as needed; -1 with errno.
  int Enter(const std::string& path) {
    std::size_t depth = 0, start = 0;
    for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1, ++depth) {
      const std::string part = path.substr(start, slash - start);
      if (depth < m_open.size() && m_open[depth].first == part) continue;
      Leave(depth);
      const int parent = depth ? m_open.back().second : m_disc;
      const bool made = mkdirat(parent, part.c_str(), 0777) == 0;
      if (!made && errno != EEXIST) return -1;
      const int fd = openat(parent, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) return -1;
      m_open.emplace_back(part, fd);
      if (made) m_target.Record(m_prefix + path.substr(0, slash + 1));
    }
    Leave(depth);
    return depth ? m_open.back().second : m_disc;
  }

 private:
  void Leave(std::size_t depth) {
    for (; m_open.size() > depth; m_open.pop_back()) close(m_open.back().second);
  }

  Target& m_target;
  int m_disc;
  std::string m_prefix;
  std::vector<std::pair<std::string, int>> m_open;
};

// The data of `in` into the new file `name` in `folder`, then the source's owner (where allowed),
// mode and times, as cp -p keeps them. A copy stopped by a signal or an error is removed.
bool CopyData(int in, const struct stat& st, int folder, const std::string& name, std::vector<char>& buffer,
              std::string& why) {
  const int out = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) return why = std::strerror(errno), false;
  bool ok = true;
  while (ok && !g_stop.load(std::memory_order_relaxed)) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    for (ssize_t done = 0; ok && done < n && !g_stop.load(std::memory_order_relaxed);) {
      const ssize_t w = write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      done += w;
    }
  }
  if (ok && !g_stop.load(std::memory_order_relaxed)) {
    // Without the owner, set-user-ID and set-group-ID are dropped, as cp -p drops them.
    const bool owner = fchown(out, st.st_uid, st.st_gid) == 0;
    if (!owner && fchown(out, static_cast<uid_t>(-1), st.st_gid) != 0) errno = 0;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = fchmod(out, st.st_mode & (owner ? 07777 : 01777)) == 0 && futimens(out, times) == 0;
  }
  ok = ok && !g_stop.load(std::memory_order_relaxed);
  if (!ok) why = g_stop.load(std::memory_order_relaxed) ? "interrupted" : std::strerror(errno ? errno : EIO);
  if (close(out) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok) unlinkat(folder, name.c_str(), 0);
  return ok;
}

// A copy of the file `source` leads to; a file copied already under another name gets a hard link
// to that copy instead.
bool CopyOnce(int staging, const std::string& source, int folder, const std::string& leaf, const std::string& placed,
              std::map<std::pair<dev_t, ino_t>, std::string>& copies, std::vector<char>& buffer, std::string& why) {
  struct stat st;
  const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0 || fstat(in, &st) != 0) {
    why = std::strerror(errno);
    if (in >= 0) close(in);
    return false;
  }
  const auto first = copies.find({st.st_dev, st.st_ino});
  bool ok = false;
  if (first != copies.end()) {
    ok = linkat(staging, first->second.c_str(), folder, leaf.c_str(), 0) == 0;
    if (!ok) why = std::strerror(errno);
  } else if (CopyData(in, st, folder, leaf, buffer, why)) {
    copies.emplace(std::make_pair(st.st_dev, st.st_ino), placed);
    ok = true;
  }
  close(in);
  return ok;
}

}  // namespace

bool CheckSources(const std::vector<std::vector<DiscFile>>& discs, bool copy, dev_t device, std::uint64_t& bytes,
                  std::string& why) {
  std::set<std::pair<dev_t, ino_t>> counted;
  bytes = 0;
  for (const std::vector<DiscFile>& disc : discs) {
    for (const DiscFile& f : disc) {
      if (g_stop.load(std::memory_order_relaxed)) return false;
      struct stat st;
      if (stat(f.source.c_str(), &st) != 0) return why = Reason("cannot read " + f.source, errno), false;
      if (!S_ISREG(st.st_mode)) return why = f.source + " is not a regular file", false;
      if (!copy && st.st_dev != device)
        return why = f.source + " is on another file system than the folders: hard links cannot reach it (use --copy)",
               false;
      if (copy && access(f.source.c_str(), R_OK) != 0) return why = Reason("cannot read " + f.source, errno), false;
      if (copy && counted.insert({st.st_dev, st.st_ino}).second)
        bytes += (static_cast<std::uint64_t>(st.st_size) + kBlock - 1) / kBlock * kBlock;
    }
  }
  return true;
}

bool PlaceFiles(Target& target, const std::vector<std::vector<DiscFile>>& discs, bool copy, std::string& why) {
  std::vector<char> buffer(copy ? kCopyChunk : 0);
  std::map<std::pair<dev_t, ino_t>, std::string> copies;  // each file's first copy, below the staging folder
  for (std::size_t d = 0; d < discs.size(); ++d) {
    const std::string name = "disc" + std::to_string(d + 1);
    const int disc = mkdirat(target.Staging(), name.c_str(), 0777) == 0
                         ? openat(target.Staging(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                         : -1;
    if (disc < 0) return why = Reason("cannot make " + target.Path() + "/" + name, errno), false;
    target.Record(name + "/");
    FolderChain chain(target, disc, name + "/");
    const std::vector<DiscFile>& files = discs[d];
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return files[a].onDisc < files[b].onDisc; });
    for (std::size_t i : order) {
      const DiscFile& f = files[i];
      const std::string placed = name + "/" + f.onDisc;
      const std::string leaf = f.onDisc.substr(f.onDisc.rfind('/') + 1);
      const int folder = chain.Enter(f.onDisc);
      std::string error;
      const bool ok =
          folder >= 0 && (copy ? CopyOnce(target.Staging(), f.source, folder, leaf, placed, copies, buffer, error)
                               : linkat(AT_FDCWD, f.source.c_str(), folder, leaf.c_str(), AT_SYMLINK_FOLLOW) == 0);
      if (!ok) {
        if (error.empty()) error = std::strerror(errno);
        const char* hint = copy             ? ""
                           : errno == EXDEV ? " (another file system: use --copy)"
                           : errno == EPERM ? " (hard links to another user's files may need --copy)"
                                            : "";
        why = "cannot place " + f.source + " at " + target.Path() + "/" + placed + ": " + error + hint;
        return false;
      }
      target.Record(placed);
      if (g_stop.load(std::memory_order_relaxed)) return false;
    }
  }
  return true;
}
