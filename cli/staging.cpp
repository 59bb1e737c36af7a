#include "cli/staging.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "cli/folder_walk.h"
#include "cli/messages.h"

namespace {

constexpr char kStagingPrefix[] = ".zumibo-fit-staging-";
constexpr char kKeptPrefix[] = "zumibo-fit-kept-";
constexpr char kJournalName[] = "commit";
constexpr char kJournalHeader[] = "zumibo-fit commit 1\n";

// The steps of a commit, as its journal records them.
constexpr const char* kAside = "aside";          // the earlier plan is being moved into old/
constexpr const char* kPlacing = "placing";      // the new entries are being moved into place
constexpr const char* kCommitted = "committed";  // the new plan is in place; old/ is to go

std::string Reason(const std::string& what, int error) { return what + ": " + std::strerror(error); }

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// "disc" and a number, with `suffix` after it: the names a delivery gives its lists and folders.
bool IsDiscName(const std::string& name, const std::string& suffix) {
  if (name.size() <= 4 + suffix.size() || name.compare(0, 4, "disc") != 0) return false;
  const std::size_t end = name.size() - suffix.size();
  return name.compare(end, std::string::npos, suffix) == 0 &&
         std::all_of(name.begin() + 4, name.begin() + static_cast<std::ptrdiff_t>(end),
                     [](char c) { return c >= '0' && c <= '9'; });
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

bool Exists(int folder, const std::string& name) {
  struct stat st;
  return folder >= 0 && fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// Renames without replacing what is there; on a file system without the flag, a look first.
bool RenameNew(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName) {
  int result = renameat2(fromFolder, fromName.c_str(), toFolder, toName.c_str(), RENAME_NOREPLACE);
  if (result != 0 && errno == EINVAL) {
    if (Exists(toFolder, toName)) errno = EEXIST;
    else result = renameat(fromFolder, fromName.c_str(), toFolder, toName.c_str());
  }
  return result == 0;
}

struct JournalText {
  std::string state;
  std::vector<std::string> old, placed;
};

std::string JournalOf(const char* state, const std::vector<std::string>& old, const std::vector<std::string>& placed) {
  std::string text = std::string(kJournalHeader) + state + "\n";
  for (const std::string& n : old) text += "o" + n + '\0';
  for (const std::string& n : placed) text += "n" + n + '\0';
  return text;
}

bool ReadJournal(int staging, JournalText& journal) {
  const int fd = openat(staging, kJournalName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  std::string text;
  char buffer[1 << 16];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (!StartsWith(text, kJournalHeader)) return false;
  std::size_t at = sizeof kJournalHeader - 1;
  const std::size_t line = text.find('\n', at);
  if (line == std::string::npos) return false;
  journal.state = text.substr(at, line - at);
  for (at = line + 1; at < text.size();) {
    std::size_t end = text.find('\0', at);
    if (end == std::string::npos) end = text.size();
    if (end > at + 1) (text[at] == 'o' ? journal.old : journal.placed).push_back(text.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return true;
}

// Removes from `old` (an earlier plan moved aside) what its manifest records, unchanged; the rest
// stays. Returns how many entries stayed.
std::size_t RemoveMade(int old) {
  Manifest made;
  made.ReadFrom(old);
  std::size_t kept = 0;
  std::vector<std::string> names;
  Entries(old, names);
  for (const std::string& n : names) {
    if (n == kManifestName) continue;
    const bool folder = PostOrder(
        old, n,
        [&](int in, const std::string& leaf, const std::string& path) {
          if (made.Unchanged(in, leaf, path)) unlinkat(in, leaf.c_str(), 0);
          else ++kept;
        },
        [&](int parent, const std::string& leaf, const std::string& path) {
          if (!made.Unchanged(parent, leaf, path) || unlinkat(parent, leaf.c_str(), AT_REMOVEDIR) != 0) ++kept;
        });
    if (!folder) {
      if (made.Unchanged(old, n, n)) unlinkat(old, n.c_str(), 0);
      else ++kept;
    }
  }
  if (kept == 0) unlinkat(old, kManifestName, 0);
  return kept;
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
      unlinkat(folder, name.c_str(), 0);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) {
    why = std::strerror(errno);
    unlinkat(folder, name.c_str(), 0);
    return false;
  }
  return true;
}

DeliveryFolder::~DeliveryFolder() {
  CloseStaging();
  if (m_folder >= 0) close(m_folder);
}

void DeliveryFolder::CloseStaging() {
  for (int* fd : {&m_old, &m_new, &m_staging}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool DeliveryFolder::Open(std::string& why) {
  m_folder = open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int fd = m_folder;
  std::string existing = m_path;
  if (fd < 0 && errno == ENOTDIR) return why = m_path + " is not a folder: give a folder to write into", false;
  if (fd < 0 && errno == ENOENT) {
    // Only the folder itself is made, as mkdir makes it: the folder above it must be there.
    existing = Above(m_path);
    fd = open(existing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR))
      return why = "cannot make " + m_path + ": " + existing + " is not a folder that exists", false;
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

bool DeliveryFolder::Lock(std::string& why) {
  // Where the file system has no locks, runs are not kept apart.
  if (flock(m_folder, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return true;
  return why = m_path + ": another zumibo-fit is delivering into it", false;
}

void DeliveryFolder::Recover(const std::string& staging) {
  const int fd = openat(m_folder, staging.c_str(), kFolderFlags);
  JournalText journal;
  if (fd < 0 || !ReadJournal(fd, journal)) {
    // Stopped before its commit began: nothing of an earlier plan is in it.
    if (fd >= 0) close(fd);
    RemoveTree(m_folder, staging);
    return;
  }
  const int made = openat(fd, "new", kFolderFlags), old = openat(fd, "old", kFolderFlags);
  std::size_t kept = 0;
  if (journal.state == kCommitted) {
    kept = old >= 0 ? RemoveMade(old) : 0;
    Warn(m_path + ": finished replacing the plan that an interrupted run had put in place");
  } else {
    // Undone: what was put in place goes back, then the earlier plan.
    if (journal.state == kPlacing && made >= 0) {
      for (const std::string& n : journal.placed) {
        if (Exists(m_folder, n) && !Exists(made, n)) RenameNew(m_folder, n, made, n);
      }
    }
    for (const std::string& n : journal.old) {
      if (Exists(old, n) && !RenameNew(old, n, m_folder, n)) ++kept;
    }
    Warn(m_path + ": put back the plan that an interrupted run was replacing");
  }
  // What stays of the earlier plan (not as it was made, or with something in its place) moves
  // to a folder named for it; the rest of the staging folder is the tool's own.
  const std::string name = kKeptPrefix + staging.substr(sizeof kStagingPrefix - 1);
  const bool moved = kept > 0 && renameat(fd, "old", m_folder, name.c_str()) == 0;
  for (int f : {made, old, fd}) {
    if (f >= 0) close(f);
  }
  if (moved)
    Warn(m_path + "/" + name + " keeps " + Plural(kept, "entry", "entries") +
         " of an earlier plan that were not as zumibo-fit made them: look through it");
  if (kept == 0 || moved) RemoveTree(m_folder, staging);
}

bool DeliveryFolder::AllMade(const std::string& name, std::string& why) const {
  std::string changed;
  const auto check = [&](int in, const std::string& leaf, const std::string& path) {
    if (changed.empty() && !m_earlierManifest.Unchanged(in, leaf, path)) changed = path;
  };
  if (!PostOrder(m_folder, name, check, check)) check(m_folder, name, name);
  if (changed.empty()) return true;
  return why = m_path + "/" + changed + " is not what zumibo-fit made there: move it away, or give another folder",
         false;
}

bool DeliveryFolder::Prepare(bool lists, bool discs, bool replace, std::string& why) {
  if (!Open(why)) return false;
  if (m_folder < 0) return true;
  std::vector<std::string> names;
  if (!Entries(m_folder, names)) return why = Reason("cannot read " + m_path, errno), false;
  bool recovered = false;
  for (const std::string& n : names) {
    if (StartsWith(n, kStagingPrefix)) {
      Recover(n);
      recovered = true;
    }
  }
  if (recovered && !Entries(m_folder, names)) return why = Reason("cannot read " + m_path, errno), false;
  switch (m_earlierManifest.ReadFrom(m_folder)) {
    case Manifest::Read::kNone:
      break;
    case Manifest::Read::kRead:
      m_hadManifest = true;
      break;
    case Manifest::Read::kForeign:
      return why = m_path + "/" + kManifestName + " is not a manifest this zumibo-fit reads: nothing in " + m_path +
                   " is taken for its own",
             false;
    case Manifest::Read::kUnreadable:
      return why = Reason("cannot read " + m_path + "/" + kManifestName, errno), false;
  }
  for (const std::string& n : names) {
    if (n == kManifestName || StartsWith(n, kStagingPrefix)) continue;
    if (m_earlierManifest.Find(n)) m_earlier.push_back(n);
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
  for (const std::string& n : m_earlier) {
    if (!AllMade(n, why)) return false;
  }
  return true;
}

std::vector<std::pair<std::string, bool>> DeliveryFolder::Replaced() const {
  std::vector<std::pair<std::string, bool>> paths;
  char* real = m_earlier.empty() ? nullptr : realpath(m_path.c_str(), nullptr);
  if (!real) return paths;
  const std::string folder = real;
  std::free(real);
  for (const std::string& n : m_earlier) {
    const MadeEntry* e = m_earlierManifest.Find(n);
    paths.emplace_back((folder == "/" ? "" : folder) + "/" + n, e && e->kind == EntryKind::kFolder);
  }
  return paths;
}

bool DeliveryFolder::Begin(std::string& why) {
  if (m_folder < 0) {
    if (mkdir(m_path.c_str(), 0777) != 0) return why = Reason("cannot make " + m_path, errno), false;
    m_made = true;
    m_folder = open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) return why = Reason("cannot open " + m_path, errno), false;
    if (!Lock(why)) return false;
  }
  m_stagingName = kStagingPrefix + std::to_string(getpid());
  if (Exists(m_folder, m_stagingName)) Recover(m_stagingName);  // left by an earlier process of the same number
  if (mkdirat(m_folder, m_stagingName.c_str(), 0700) == 0)
    m_staging = openat(m_folder, m_stagingName.c_str(), kFolderFlags);
  if (m_staging >= 0 && mkdirat(m_staging, "new", 0700) == 0) m_new = openat(m_staging, "new", kFolderFlags);
  if (m_new < 0) return why = Reason("cannot write in " + m_path, errno), false;
  return true;
}

void DeliveryFolder::Record(MadeEntry entry) {
  if (entry.path.find('/') == std::string::npos) m_newEntries.push_back(entry.path);
  m_manifest.Add(std::move(entry));
}

bool DeliveryFolder::Journal(const char* state, std::string& why) {
  std::vector<std::string> old = m_earlier, placed = m_newEntries;
  if (m_hadManifest) old.push_back(kManifestName);
  placed.push_back(kManifestName);
  unlinkat(m_staging, "commit.new", 0);
  if (!WriteNewFile(m_staging, "commit.new", JournalOf(state, old, placed), why) ||
      renameat(m_staging, "commit.new", m_staging, kJournalName) != 0)
    return why = "cannot write in " + m_path + ": " + (why.empty() ? std::strerror(errno) : why), false;
  // The step is on the disk before the renames it announces.
  fsync(m_staging);
  return true;
}

bool DeliveryFolder::Move(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName) {
  if (!RenameNew(fromFolder, fromName, toFolder, toName)) return false;
  m_renames.push_back({fromFolder, fromName, toFolder, toName});
  return true;
}

bool DeliveryFolder::Commit(std::string& why) {
  if (!WriteNewFile(m_new, kManifestName, m_manifest.Text(), why))
    return why = "cannot write " + m_path + "/" + kManifestName + ": " + why, false;
  fsync(m_new);
  if (!Journal(kAside, why)) return false;
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
  if (!Journal(kPlacing, why)) {
    Undo();
    return false;
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
  if (!Journal(kCommitted, why)) {
    Undo();
    return false;
  }
  fsync(m_folder);
  return true;
}

void DeliveryFolder::Undo() {
  for (auto r = m_renames.rbegin(); r != m_renames.rend(); ++r)
    renameat(r->toFolder, r->toName.c_str(), r->fromFolder, r->fromName.c_str());
  m_renames.clear();
  if (m_staging >= 0) unlinkat(m_staging, kJournalName, 0);
}

std::string DeliveryFolder::Finish() {
  const std::size_t kept = m_old >= 0 ? RemoveMade(m_old) : 0;
  std::string name;
  if (kept > 0) {
    name = kKeptPrefix + std::to_string(getpid());
    if (renameat(m_staging, "old", m_folder, name.c_str()) != 0) name.clear();
  }
  CloseStaging();
  if (kept == 0 || !name.empty()) RemoveTree(m_folder, m_stagingName);
  return name;
}

void DeliveryFolder::Abandon() {
  Undo();
  CloseStaging();
  if (!m_stagingName.empty() && m_folder >= 0) RemoveTree(m_folder, m_stagingName);
  if (m_made) {
    close(m_folder);
    m_folder = -1;
    rmdir(m_path.c_str());
  }
}
