#include <dirent.h>
#include <sys/stat.h>

#include "files/path_walk.h"

namespace walk {
namespace {

bool IsLink(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

Kind Inspect(const std::string& path, std::int64_t& size, bool& link) {
  link = IsLink(path);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return Kind::kNeither;
  if (S_ISDIR(st.st_mode)) return Kind::kFolder;
  if (!S_ISREG(st.st_mode)) return Kind::kNeither;
  size = st.st_size;
  return Kind::kFile;
}

bool Identify(const std::string& folder, FolderId& id) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return false;
  id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

// Links are followed; entries that are neither folders nor regular files (devices, sockets)
// are left out, and names whose file cannot be looked at (broken links) are reported.
bool List(const std::string& folder, std::vector<Entry>& entries, std::size_t limit) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  std::size_t seen = 0;
  while (const dirent* d = readdir(dir)) {
    if (limit && ++seen > limit) {
      closedir(dir);
      return false;
    }
    if (d->d_name[0] == '.') continue;
    struct stat st;
    const std::string path = Join(folder, d->d_name);
    const bool link = d->d_type == DT_LNK || (d->d_type == DT_UNKNOWN && IsLink(path));
    if (stat(path.c_str(), &st) != 0) entries.push_back({d->d_name, false, 0, false, link});
    else if (S_ISDIR(st.st_mode)) entries.push_back({d->d_name, true, 0, true, link});
    else if (S_ISREG(st.st_mode))
      entries.push_back({d->d_name,
                         false,
                         static_cast<std::int64_t>(st.st_size),
                         true,
                         link,
                         link || st.st_nlink > 1,
                         {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}});
  }
  closedir(dir);
  return true;
}

bool LinkAbove(const std::string& path) {
  std::string at = path;
  for (;;) {
    while (at.size() > 1 && at.back() == '/') at.pop_back();
    if (at.size() <= 1) return false;
    if (IsLink(at)) return true;
    const std::size_t slash = at.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    at.resize(slash);
  }
}

std::string FolderKey(const std::string& folder) {
  std::string key = folder;
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::pair<std::string, std::string> Split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

FileEntry MakeEntry(std::string path, std::int64_t size) { return MakePosixFileEntry(std::move(path), size); }

}  // namespace walk
