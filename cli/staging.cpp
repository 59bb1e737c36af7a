#include "cli/staging.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/stopping.h"

namespace {

constexpr char kManifestHeader[] = "zumibo-fit manifest 1\n";
constexpr char kStagingPrefix[] = ".zumibo-fit-staging-";
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string Reason(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// "disc" and a number, with `suffix` after it: the names a delivery gives its lists and folders.
bool IsDiscName(const std::string& name, const std::string& suffix) {
  if (name.size() <= 4 + suffix.size() || name.compare(0, 4, "disc") != 0) return false;
  const std::size_t end = name.size() - suffix.size();
  return name.compare(end, std::string::npos, suffix) == 0 &&
         std::all_of(name.begin() + 4, name.begin() + static_cast<std::ptrdiff_t>(end),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The names in a folder, without "." and "..".
bool Entries(int folder, std::vector<std::string>& names) {
  const int fd = openat(folder, ".", kFolderFlags);
  DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
  if (!dir) {
    if (fd >= 0) close(fd);
    return false;
  }
  names.clear();
  errno = 0;
  while (const dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
  }
  const bool ok = errno == 0;
  closedir(dir);
  return ok;
}

// The folder that holds `path`, as written ("." for a bare name).
std::string Above(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string Listed(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < 3; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > 3) text += " and " + std::to_string(names.size() - 3) + " more";
  return text;
}

// Removes `name` in `folder` with everything below it, following no symbolic link.
void RemoveTree(int folder, const std::string& name) {
  const int fd = openat(folder, name.c_str(), kFolderFlags);
  if (fd < 0) {
    unlinkat(folder, name.c_str(), 0);
    return;
  }
  std::vector<std::string> names;
  Entries(fd, names);
  for (const std::string& n : names) {
    struct stat st;
    if (fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) RemoveTree(fd, n);
    else unlinkat(fd, n.c_str(), 0);
  }
  close(fd);
  unlinkat(folder, name.c_str(), AT_REMOVEDIR);
}

}  // namespace

bool WriteNewFile(int folder, const std::string& name, const std::string& text, std::string& why) {
  const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return why = std::strerror(errno), false;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      close(fd);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) return why = std::strerror(errno), false;
  return true;
}

Target::~Target() {
  for (int fd : {m_old, m_new, m_staging, m_folder}) {
    if (fd >= 0) close(fd);
  }
}

bool Target::Open(std::string& why) {
  m_folder = open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::string existing = m_path;
  int fd = m_folder;
  // A folder still to be made: what counts is the nearest folder above it that exists.
  while (fd < 0 && errno == ENOENT && existing != "." && existing != "/") {
    existing = Above(existing);
    fd = open(existing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0)
    return why = Reason(existing == m_path ? m_path : "cannot make " + m_path + ": " + existing, errno), false;
  struct stat st;
  struct statvfs vfs;
  const bool writable = faccessat(fd, ".", W_OK | X_OK, 0) == 0;
  const int error = errno;
  if (fstat(fd, &st) == 0) m_device = st.st_dev;
  if (fstatvfs(fd, &vfs) == 0) m_free = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  if (fd != m_folder) close(fd);
  if (!writable)
    return why = Reason(existing == m_path ? "cannot write in " + m_path : "cannot make " + m_path + " in " + existing,
                        error),
           false;
  return m_folder < 0 || Lock(why);
}

bool Target::Lock(std::string& why) {
  // Where the file system has no locks, runs are not kept apart.
  if (flock(m_folder, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return true;
  return why = m_path + ": another zumibo-fit is delivering into it", false;
}

bool Target::ReadManifest(std::string& why) {
  const int fd = openat(m_folder, kManifestName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return true;
  const std::string name = m_path + "/" + kManifestName;
  if (fd < 0) return why = Reason("cannot read " + name, errno), false;
  m_hadManifest = true;
  std::string text;
  char buffer[1 << 16];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  }
  const int error = errno;
  close(fd);
  if (n < 0) return why = Reason("cannot read " + name, error), false;
  const std::size_t header = sizeof kManifestHeader - 1;
  if (text.compare(0, header, kManifestHeader) != 0)
    return why = name + " is not a manifest this zumibo-fit reads: nothing in " + m_path + " is taken for its own",
           false;
  for (std::size_t start = header, end; start < text.size(); start = end + 1) {
    end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    m_records.push_back(text.substr(start, end - start));
  }
  std::sort(m_records.begin(), m_records.end());
  return true;
}

bool Target::Recorded(const std::string& path) const {
  return std::binary_search(m_records.begin(), m_records.end(), path);
}

bool Target::Made(int folder, const std::string& name, const std::string& path, std::string& why) const {
  struct stat st;
  if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return why = Reason("cannot read " + m_path + "/" + path, errno), false;
  if (S_ISREG(st.st_mode) && Recorded(path)) return true;
  if (!S_ISDIR(st.st_mode) || !Recorded(path + "/"))
    return why = m_path + "/" + path + " is not what zumibo-fit made there: move it away, or give another folder",
           false;
  const int fd = openat(folder, name.c_str(), kFolderFlags);
  std::vector<std::string> names;
  bool ok = fd >= 0 && Entries(fd, names);
  if (!ok) why = Reason("cannot read " + m_path + "/" + path, errno);
  for (std::size_t i = 0; ok && i < names.size() && !g_stop.load(std::memory_order_relaxed); ++i)
    ok = Made(fd, names[i], path + "/" + names[i], why);
  if (fd >= 0) close(fd);
  return ok && !g_stop.load(std::memory_order_relaxed);
}

bool Target::Check(bool lists, bool discs, bool replace, std::string& why) {
  if (!Open(why)) return false;
  if (m_folder < 0) return true;
  if (!ReadManifest(why)) return false;
  std::vector<std::string> names;
  if (!Entries(m_folder, names)) return why = Reason("cannot read " + m_path, errno), false;
  for (const std::string& n : names) {
    if (n == kManifestName) continue;
    if (n.compare(0, sizeof kStagingPrefix - 1, kStagingPrefix) == 0) m_leftover.push_back(n);
    else if (Recorded(n) || Recorded(n + "/")) m_earlier.push_back(n);
    else if ((lists && IsDiscName(n, ".list")) || (discs && IsDiscName(n, "")))
      return why = m_path + "/" + n + " was not made by zumibo-fit (" + kManifestName +
                   " has no record of it): move it away, or give another folder",
             false;
  }
  if (m_earlier.empty()) return true;
  if (!replace)
    return why = m_path + " holds an earlier plan (" + Listed(m_earlier) +
                 "): give --replace to replace it, or another folder",
           false;
  // Only what the earlier run made goes: a foreign file or link among it keeps the whole plan.
  for (const std::string& n : m_earlier) {
    if (!Made(m_folder, n, n, why)) return false;
  }
  return true;
}

bool Target::Begin(std::string& why) {
  if (m_folder < 0) {
    for (std::size_t slash = m_path.find('/', 1);; slash = m_path.find('/', slash + 1)) {
      const std::string folder = m_path.substr(0, slash);
      if (mkdir(folder.c_str(), 0777) == 0) m_made.push_back(folder);
      else if (errno != EEXIST) return why = Reason("cannot make " + folder, errno), false;
      if (slash == std::string::npos) break;
    }
    m_folder = open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) return why = Reason("cannot open " + m_path, errno), false;
    if (!Lock(why)) return false;
  }
  m_stagingName = kStagingPrefix + std::to_string(getpid());
  if (mkdirat(m_folder, m_stagingName.c_str(), 0700) != 0 && errno == EEXIST) {
    RemoveTree(m_folder, m_stagingName);  // left by an earlier process of the same number
    mkdirat(m_folder, m_stagingName.c_str(), 0700);
  }
  m_staging = openat(m_folder, m_stagingName.c_str(), kFolderFlags);
  if (m_staging >= 0 && mkdirat(m_staging, "new", 0700) == 0) m_new = openat(m_staging, "new", kFolderFlags);
  if (m_new < 0) return why = Reason("cannot write in " + m_path, errno), false;
  return true;
}

void Target::Record(const std::string& path) {
  m_manifest += path;
  m_manifest += '\0';
  const std::size_t slash = path.find('/');
  if (slash == std::string::npos || slash + 1 == path.size()) m_newEntries.push_back(path.substr(0, slash));
}

bool Target::Move(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName) {
  int result = renameat2(fromFolder, fromName.c_str(), toFolder, toName.c_str(), RENAME_NOREPLACE);
  if (result != 0 && errno == EINVAL) {
    // A file system without the flag: the check just made stands in for it.
    struct stat st;
    if (fstatat(toFolder, toName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) errno = EEXIST;
    else result = renameat(fromFolder, fromName.c_str(), toFolder, toName.c_str());
  }
  if (result == 0) m_renames.push_back({fromFolder, fromName, toFolder, toName});
  return result == 0;
}

bool Target::Commit(std::string& why) {
  if (!WriteNewFile(m_new, kManifestName, kManifestHeader + m_manifest, why))
    return why = "cannot write " + m_path + "/" + kManifestName + ": " + why, false;
  if (m_hadManifest || !m_earlier.empty()) {
    if (mkdirat(m_staging, "old", 0700) == 0) m_old = openat(m_staging, "old", kFolderFlags);
    if (m_old < 0) return why = Reason("cannot write in " + m_path, errno), false;
    std::vector<std::string> earlier = m_earlier;
    if (m_hadManifest) earlier.push_back(kManifestName);
    for (const std::string& n : earlier) {
      if (!Move(m_folder, n, m_old, n)) {
        why = Reason("cannot move " + m_path + "/" + n + " aside", errno);
        Undo();
        return false;
      }
    }
  }
  // The manifest first: whatever stops the renames, what is in place is recorded.
  std::vector<std::string> entries{kManifestName};
  entries.insert(entries.end(), m_newEntries.begin(), m_newEntries.end());
  for (const std::string& n : entries) {
    if (!Move(m_new, n, m_folder, n)) {
      why = Reason("cannot put " + m_path + "/" + n + " in place", errno);
      Undo();
      return false;
    }
  }
  return true;
}

void Target::Undo() {
  for (auto r = m_renames.rbegin(); r != m_renames.rend(); ++r)
    renameat(r->toFolder, r->toName.c_str(), r->fromFolder, r->fromName.c_str());
  m_renames.clear();
}

void Target::RemoveStaging() {
  for (int* fd : {&m_old, &m_new, &m_staging}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  if (!m_stagingName.empty()) RemoveTree(m_folder, m_stagingName);
}

void Target::Finish() {
  RemoveStaging();
  for (const std::string& n : m_leftover) RemoveTree(m_folder, n);
}

void Target::Abandon() {
  Undo();
  RemoveStaging();
  for (auto made = m_made.rbegin(); made != m_made.rend(); ++made) rmdir(made->c_str());
}
