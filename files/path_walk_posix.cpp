#include <dirent.h>
#include <sys/stat.h>

#include "files/path_walk.h"

namespace walk {

Kind Inspect(const std::string& path, std::int64_t& size) {
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
bool List(const std::string& folder, std::vector<Entry>& entries) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  while (const dirent* d = readdir(dir)) {
    if (d->d_name[0] == '.') continue;
    struct stat st;
    if (stat(Join(folder, d->d_name).c_str(), &st) != 0) entries.push_back({d->d_name, false, 0, false});
    else if (S_ISDIR(st.st_mode)) entries.push_back({d->d_name, true, 0});
    else if (S_ISREG(st.st_mode)) entries.push_back({d->d_name, false, static_cast<std::int64_t>(st.st_size)});
  }
  closedir(dir);
  return true;
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
