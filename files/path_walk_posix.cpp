#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "files/path_walk.h"

void PathWalker::AddPath(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return Skipped(path);
  if (S_ISDIR(st.st_mode)) return WalkFolder(path);
  if (S_ISREG(st.st_mode)) m_found(MakePosixFileEntry(path, st.st_size));
}

void PathWalker::WalkFolder(const std::string& root) {
  std::vector<std::string> pending{root};
  while (!pending.empty()) {
    std::string folder = std::move(pending.back());
    pending.pop_back();
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
      Skipped(folder);
      continue;
    }
    if (!m_visited.insert({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}).second) continue;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
      Skipped(folder);
      continue;
    }
    const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
    std::vector<std::string> subfolders;
    while (const dirent* e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      const std::string path = prefix + e->d_name;
      struct stat entry;
      if (stat(path.c_str(), &entry) != 0) {
        Skipped(path);
      } else if (S_ISDIR(entry.st_mode)) {
        subfolders.push_back(path);
      } else if (S_ISREG(entry.st_mode)) {
        m_found(MakePosixFileEntry(path, entry.st_size));
      }
    }
    closedir(dir);
    // Depth first, subfolders in listing order.
    pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
  }
}
