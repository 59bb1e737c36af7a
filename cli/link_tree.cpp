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

#include "cli/folder_walk.h"
#include "cli/stopping.h"

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
constexpr std::uint64_t kBlock = 4096;

std::string Reason(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The folder a file goes in, made as needed below a disc's folder, with one folder open at a
// time (and the disc's): files come in the order of their paths, so that most files go in the
// folder open or one below it, and a tree of any depth needs no more descriptors than a flat one.
class FolderChain {
 public:
  FolderChain(DeliveryFolder& target, int disc, std::string prefix)
      : m_target(target), m_disc(disc), m_prefix(std::move(prefix)) {}
  FolderChain(const FolderChain&) = delete;
  FolderChain& operator=(const FolderChain&) = delete;
  ~FolderChain() {
    if (m_open >= 0) close(m_open);
    close(m_disc);
  }

  // The folder of `path` (relative to the disc, with '/'), made as needed; -1 with errno.
  int Enter(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    if (folder.empty()) return m_disc;
    if (m_open >= 0 && folder == m_folder) return m_open;
    // From the folder open when the new one is below it, else from the disc's.
    std::size_t start = 0;
    int from = m_disc;
    if (m_open >= 0 && folder.compare(0, m_folder.size(), m_folder) == 0) {
      start = m_folder.size();
      from = m_open;
    } else if (m_open >= 0) {
      close(m_open);
      m_open = -1;
    }
    for (std::size_t end; (end = folder.find('/', start)) != std::string::npos; start = end + 1) {
      const std::string part = folder.substr(start, end - start);
      const bool made = mkdirat(from, part.c_str(), 0777) == 0;
      if (!made && errno != EEXIST) return Fail(from);
      const int fd = openat(from, part.c_str(), kFolderFlags);
      if (fd < 0) return Fail(from);
      struct stat st;
      if (made && fstat(fd, &st) == 0)
        m_target.Record(EntryOf(m_prefix + folder.substr(0, end), EntryKind::kFolder, st));
      if (from != m_disc) close(from);
      from = fd;
    }
    m_open = from;
    m_folder = folder;
    return m_open;
  }

 private:
  int Fail(int from) {
    const int error = errno;
    if (from != m_disc) close(from);
    m_open = -1;
    errno = error;
    return -1;
  }

  DeliveryFolder& m_target;
  int m_disc;
  std::string m_prefix;
  int m_open = -1;       // the folder last entered, if not the disc's
  std::string m_folder;  // its path below the disc, with a '/' at its end
};

// Whether an open source is still the file collected: the same file, regular, of the same size.
bool Same(const struct stat& st, const DiscFile& f, std::string& why) {
  if (!S_ISREG(st.st_mode)) return why = f.source + " is no longer a regular file", false;
  if (f.inode != 0 &&
      (static_cast<std::uint64_t>(st.st_dev) != f.device || static_cast<std::uint64_t>(st.st_ino) != f.inode))
    return why = f.source + " is no longer the file that was planned (it was moved or replaced)", false;
  if (f.size >= 0 && st.st_size != f.size)
    return why = f.source + " changed size since it was planned (" + std::to_string(f.size) + " bytes, now " +
                 std::to_string(st.st_size) + ")",
           false;
  return true;
}

bool WriteAll(int out, const char* data, std::size_t size) {
  for (std::size_t done = 0; done < size && !g_stop.load(std::memory_order_relaxed);) {
    const ssize_t w = write(out, data + done, size - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<std::size_t>(w);
  }
  return true;
}

// Exactly the bytes planned, from `in` to `out`: a source that grows, shrinks or changes while it
// is copied is not copied.
bool CopyBytes(int in, int out, const struct stat& st, const DiscFile& f, std::vector<char>& buffer, Sha256* hash,
               std::string& why) {
  std::int64_t left = st.st_size;
  while (left > 0 && !g_stop.load(std::memory_order_relaxed)) {
    const ssize_t n = read(in, buffer.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size())));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return why = std::strerror(errno), false;
    if (n == 0) return why = f.source + " shrank while it was copied", false;
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n)))
      return why = std::strerror(errno ? errno : EIO), false;
    if (hash) hash->Update(buffer.data(), static_cast<std::size_t>(n));
    left -= n;
  }
  if (g_stop.load(std::memory_order_relaxed)) return why = "interrupted", false;
  char extra;
  ssize_t n;
  while ((n = read(in, &extra, 1)) < 0 && errno == EINTR) {
  }
  struct stat after;
  if (n != 0 || fstat(in, &after) != 0 || after.st_size != st.st_size || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
    return why = f.source + " changed while it was copied", false;
  return true;
}

// A copy of `f` in the new file `name` in `folder`, with the source's owner (where allowed), mode
// and times, as cp -p keeps them. The source is opened without waiting (a pipe put in its place
// does not hang the run) and must be the file planned; a copy that fails is removed.
bool CopyFile(const DiscFile& f, int folder, const std::string& name, std::vector<char>& buffer, Sha256* hash,
              struct stat& made, std::string& why) {
  const int in = open(f.source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0) {
    why = Reason("cannot read " + f.source, errno);
    if (in >= 0) close(in);
    return false;
  }
  if (!Same(st, f, why)) {
    close(in);
    return false;
  }
  fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);
  const int out = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) {
    why = std::strerror(errno);
    close(in);
    return false;
  }
  bool ok = CopyBytes(in, out, st, f, buffer, hash, why);
  close(in);
  if (ok) {
    // Without the owner, set-user-ID and set-group-ID are dropped, as cp -p drops them.
    const bool owner = fchown(out, st.st_uid, st.st_gid) == 0;
    if (!owner && fchown(out, static_cast<uid_t>(-1), st.st_gid) != 0) errno = 0;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = fchmod(out, st.st_mode & (owner ? 07777 : 01777)) == 0 && futimens(out, times) == 0 && fstat(out, &made) == 0;
    if (!ok) why = std::strerror(errno);
  }
  if (close(out) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok) unlinkat(folder, name.c_str(), 0);
  return ok;
}

// A hard link to the file `f` leads to, which must be the file planned: a link made to anything
// else (the source swapped since) is taken back.
bool LinkFile(const DiscFile& f, int folder, const std::string& name, struct stat& made, std::string& why) {
  if (linkat(AT_FDCWD, f.source.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    const int error = errno;
    why = std::strerror(error);
    if (error == EXDEV) why += " (another file system: use --copy)";
    if (error == EPERM) why += " (hard links to another user's files may need --copy)";
    return false;
  }
  if (fstatat(folder, name.c_str(), &made, AT_SYMLINK_NOFOLLOW) == 0 && Same(made, f, why)) return true;
  unlinkat(folder, name.c_str(), 0);
  if (why.empty()) why = std::strerror(errno);
  return false;
}

}  // namespace

bool CheckSources(const std::vector<std::vector<DiscFile>>& discs, bool copy, dev_t device, std::uint64_t& bytes,
                  std::string& why) {
  std::set<std::pair<dev_t, ino_t>> counted;
  bytes = 0;
  for (const std::vector<DiscFile>& disc : discs) {
    for (const DiscFile& f : disc) {
      if (g_stop.load(std::memory_order_relaxed)) return false;
      if (f.folder) continue;  // made on the disc's side, nothing read
      struct stat st;
      if (stat(f.source.c_str(), &st) != 0) return why = Reason("cannot read " + f.source, errno), false;
      if (!Same(st, f, why)) return false;
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

bool PlaceFiles(DeliveryFolder& target, const std::vector<std::vector<DiscFile>>& discs, bool copy, int firstNumber,
                FileDigests* digests, std::string& why) {
  Sha256 hash;
  std::vector<char> buffer(copy ? kCopyChunk : 0);
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> copies;  // each file's first copy, below staging
  for (std::size_t d = 0; d < discs.size(); ++d) {
    const std::string name = "disc" + std::to_string(firstNumber + static_cast<int>(d));
    const int disc =
        mkdirat(target.Staging(), name.c_str(), 0777) == 0 ? openat(target.Staging(), name.c_str(), kFolderFlags) : -1;
    struct stat st;
    if (disc < 0 || fstat(disc, &st) != 0)
      return why = Reason("cannot make " + target.Path() + "/" + name, errno), false;
    target.Record(EntryOf(name, EntryKind::kFolder, st));
    FolderChain chain(target, disc, name + "/");
    const std::vector<DiscFile>& files = discs[d];
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return files[a].onDisc < files[b].onDisc; });
    for (std::size_t i : order) {
      const DiscFile& f = files[i];
      if (f.folder) {
        // An empty folder: made with those above it, and recorded as they are.
        if (chain.Enter(f.onDisc + "/") < 0)
          return why = Reason("cannot make " + target.Path() + "/" + name + "/" + f.onDisc, errno), false;
        continue;
      }
      const std::string placed = name + "/" + f.onDisc;
      const std::string leaf = f.onDisc.substr(f.onDisc.rfind('/') + 1);
      const int folder = chain.Enter(f.onDisc);
      std::string error;
      struct stat made;
      bool ok = folder >= 0;
      if (!ok) {
        error = std::strerror(errno);
      } else if (!copy) {
        ok = LinkFile(f, folder, leaf, made, error);
      } else if (const auto first = copies.find({f.device, f.inode}); f.inode != 0 && first != copies.end()) {
        // Another name of a file copied already: a hard link to that copy, as the disc stores the data once.
        ok = linkat(target.Staging(), first->second.c_str(), folder, leaf.c_str(), 0) == 0 &&
             fstatat(folder, leaf.c_str(), &made, AT_SYMLINK_NOFOLLOW) == 0;
        if (!ok) error = std::strerror(errno);
      } else if ((ok = CopyFile(f, folder, leaf, buffer, digests ? &hash : nullptr, made, error))) {
        if (f.inode != 0) copies.emplace(std::make_pair(f.device, f.inode), placed);
        if (digests) {
          digests->digest[f.file] = hash.Finish();
          digests->known[f.file] = true;
        }
      }
      if (!ok) {
        why = "cannot place " + f.source + " at " + target.Path() + "/" + placed + ": " + error;
        return false;
      }
      target.Record(EntryOf(placed, copy ? EntryKind::kCopy : EntryKind::kLink, made));
      if (g_stop.load(std::memory_order_relaxed)) return false;
    }
  }
  return true;
}
