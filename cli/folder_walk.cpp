#include "cli/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>

namespace {

struct Level {
  std::string name;
  bool filesDone = false;
  std::unordered_set<std::string> finished;  ///< subfolders already left
};

std::string PathOf(const std::vector<Level>& levels) {
  std::string path;
  for (const Level& l : levels) path += (path.empty() ? "" : "/") + l.name;
  return path;
}

}  // namespace

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

bool PostOrder(int base, const std::string& name,
               const std::function<void(int folder, const std::string& name, const std::string& path)>& file,
               const std::function<void(int parent, const std::string& name, const std::string& path)>& leave) {
  int fd = openat(base, name.c_str(), kFolderFlags);
  if (fd < 0) return false;
  std::vector<Level> levels(1);
  levels[0].name = name;
  std::vector<std::string> names;
  while (true) {
    Level& level = levels.back();
    // The files of a folder are visited once; its subfolders one at a time, each entered, its
    // own entries visited, and left (a folder that stays, not emptied, is not entered again).
    if (!Entries(fd, names)) names.clear();
    std::string next;
    for (const std::string& n : names) {
      struct stat st;
      if (fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!S_ISDIR(st.st_mode)) {
        if (!level.filesDone) file(fd, n, PathOf(levels) + "/" + n);
      } else if (next.empty() && !level.finished.count(n)) {
        next = n;
      }
    }
    level.filesDone = true;
    if (!next.empty()) {
      const int child = openat(fd, next.c_str(), kFolderFlags);
      if (child < 0) {
        level.finished.insert(next);
        continue;
      }
      close(fd);
      fd = child;
      levels.push_back({next, false, {}});
      continue;
    }
    const std::string path = PathOf(levels);
    if (levels.size() == 1) {
      close(fd);
      leave(base, name, path);
      return true;
    }
    // Up through "..": every folder below `base` was entered without following a link.
    const int parent = openat(fd, "..", kFolderFlags);
    close(fd);
    if (parent < 0) return true;
    fd = parent;
    const std::string left = levels.back().name;
    levels.pop_back();
    leave(fd, left, path);
    levels.back().finished.insert(left);
  }
}

void RemoveTree(int base, const std::string& name) {
  const bool folder = PostOrder(
      base, name, [](int in, const std::string& n, const std::string&) { unlinkat(in, n.c_str(), 0); },
      [](int parent, const std::string& n, const std::string&) { unlinkat(parent, n.c_str(), AT_REMOVEDIR); });
  if (!folder) unlinkat(base, name.c_str(), 0);
}
