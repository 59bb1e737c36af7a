#include "files/path_walk.h"

std::string FolderPaths::Use(const FolderId& id, const std::string& path) {
  const auto [it, added] = m_first.emplace(id, path);
  if (added || it->second == path) return path;
  FolderId again;
  if (walk::Identify(it->second, again) && again == id) return it->second;
  it->second = path;  // the first path leads elsewhere now
  return path;
}

void PathWalker::AddPath(const std::string& path) {
  std::int64_t size = 0;
  switch (walk::Inspect(path, size)) {
    case walk::Kind::kFolder:
      return WalkFolder(path);
    case walk::Kind::kNeither:
      return Skipped(path);
    case walk::Kind::kFile:
      break;
  }
  std::string file = path;
  if (m_known) {
    auto [folder, name] = walk::Split(path);
    FolderId id;
    if (!folder.empty() && walk::Identify(folder, id)) {
      const std::string use = m_known->Use(id, folder);
      if (use != folder) file = walk::Join(use, name);
    }
  }
  m_found(walk::MakeEntry(std::move(file), size));
}

void PathWalker::WalkFolder(const std::string& root) {
  std::vector<std::string> pending{root};
  std::vector<walk::Entry> entries;
  while (!pending.empty()) {
    std::string folder = std::move(pending.back());
    pending.pop_back();
    FolderId id;
    if (walk::Identify(folder, id)) {
      if (!m_visited.insert(id).second) continue;
      if (m_known) folder = m_known->Use(id, folder);
    }
    entries.clear();
    if (!walk::List(folder, entries)) {
      Skipped(folder);
      continue;
    }
    std::vector<std::string> subfolders;
    for (walk::Entry& e : entries) {
      if (e.name.empty() || e.name[0] == '.') continue;  // ".", ".." and every name that begins with a period
      std::string path = walk::Join(folder, e.name);
      if (!e.readable) Skipped(path);
      else if (e.folder) subfolders.push_back(std::move(path));
      else m_found(walk::MakeEntry(std::move(path), e.size));
    }
    // Depth first, subfolders in listing order.
    pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
  }
}
