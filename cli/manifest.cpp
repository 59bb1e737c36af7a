#include "cli/manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

constexpr char kHeader1[] = "zumibo-fit manifest 1\n";
constexpr char kHeader2[] = "zumibo-fit manifest 2\n";
constexpr std::size_t kLargestManifest = std::size_t{1} << 30;

bool ReadAll(int fd, std::string& text) {
  char buffer[1 << 16];
  while (true) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kLargestManifest) return false;
  }
}

bool Number(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return errno == 0;
}

}  // namespace

MadeEntry EntryOf(const std::string& path, EntryKind kind, const struct stat& st) {
  MadeEntry e;
  e.path = path;
  e.kind = kind;
  e.device = static_cast<std::uint64_t>(st.st_dev);
  e.inode = static_cast<std::uint64_t>(st.st_ino);
  e.size = st.st_size;
  e.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  return e;
}

Manifest::Read Manifest::ReadFrom(int folder) {
  m_entries.clear();
  const int fd = openat(folder, kManifestName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? Read::kNone : Read::kUnreadable;
  std::string text;
  const bool read = ReadAll(fd, text);
  close(fd);
  if (!read) return Read::kUnreadable;
  std::vector<std::string> fields;
  const bool v2 = text.compare(0, sizeof kHeader2 - 1, kHeader2) == 0;
  const std::size_t header = sizeof kHeader2 - 1;
  if (!v2 && text.compare(0, sizeof kHeader1 - 1, kHeader1) != 0) return Read::kForeign;
  for (std::size_t start = header, end; start < text.size(); start = end + 1) {
    end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    fields.push_back(text.substr(start, end - start));
  }
  if (!v2) {
    for (std::string& path : fields) {
      MadeEntry e;
      e.identified = false;
      e.kind = !path.empty() && path.back() == '/' ? EntryKind::kFolder : EntryKind::kWritten;
      if (e.kind == EntryKind::kFolder) path.pop_back();
      e.path = std::move(path);
      m_entries.push_back(std::move(e));
    }
  } else {
    if (fields.size() % 6 != 0) return Read::kForeign;
    for (std::size_t i = 0; i < fields.size(); i += 6) {
      MadeEntry e;
      e.path = fields[i];
      const std::string& kind = fields[i + 1];
      std::uint64_t size = 0, mtime = 0;
      if (kind.size() != 1 || std::string("DLCW").find(kind[0]) == std::string::npos ||
          !Number(fields[i + 2], e.device) || !Number(fields[i + 3], e.inode) || !Number(fields[i + 4], size) ||
          !Number(fields[i + 5], mtime))
        return Read::kForeign;
      e.kind = static_cast<EntryKind>(kind[0]);
      e.size = static_cast<std::int64_t>(size);
      e.mtimeNs = static_cast<std::int64_t>(mtime);
      m_entries.push_back(std::move(e));
    }
  }
  m_sorted = false;
  Sort();
  return Read::kRead;
}

void Manifest::Add(MadeEntry entry) {
  m_entries.push_back(std::move(entry));
  m_sorted = false;
}

void Manifest::Sort() {
  if (m_sorted) return;
  std::sort(m_entries.begin(), m_entries.end(), [](const MadeEntry& a, const MadeEntry& b) { return a.path < b.path; });
  m_sorted = true;
}

const MadeEntry* Manifest::Find(const std::string& path) const {
  const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), path,
                                   [](const MadeEntry& e, const std::string& p) { return e.path < p; });
  return at != m_entries.end() && at->path == path ? &*at : nullptr;
}

std::string Manifest::Text() const {
  std::string text = kHeader2;
  for (const MadeEntry& e : m_entries) {
    for (const std::string& field :
         {e.path, std::string(1, static_cast<char>(e.kind)), std::to_string(e.device), std::to_string(e.inode),
          std::to_string(e.size), std::to_string(e.mtimeNs)}) {
      text += field;
      text += '\0';
    }
  }
  return text;
}

bool Manifest::Unchanged(int folder, const std::string& name, const std::string& path) const {
  const MadeEntry* e = Find(path);
  struct stat st;
  if (!e || fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  const bool isFolder = e->kind == EntryKind::kFolder;
  if (isFolder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) return false;
  if (!e->identified) return true;
  if (e->device != static_cast<std::uint64_t>(st.st_dev) || e->inode != static_cast<std::uint64_t>(st.st_ino))
    return false;
  // A link is the file it leads to, whose owner may change it; a file the tool wrote or copied is
  // the tool's own only as long as it is as it was made.
  if (e->kind == EntryKind::kCopy || e->kind == EntryKind::kWritten) {
    const MadeEntry now = EntryOf(path, e->kind, st);
    return now.size == e->size && now.mtimeNs == e->mtimeNs;
  }
  return true;
}
