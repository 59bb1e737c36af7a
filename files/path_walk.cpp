#include "files/path_walk.h"

std::string FolderPaths::Use(const FolderId& id, const std::string& path) {
  for (const std::string& walked : m_unidentified) {
    FolderId walkedId;
    if (walk::Identify(walked, walkedId)) m_first.emplace(walkedId, walked);
  }
  m_unidentified.clear();
  const auto [it, added] = m_first.emplace(id, path);
  if (added || it->second == path) return path;
  FolderId again;
  if (walk::Identify(it->second, again) && again == id) return it->second;
  it->second = path;  // the first path leads elsewhere now
  return path;
}

void PathWalker::StartTracking() {
  m_tracking = true;
  for (const std::string& folder : m_walkedUntracked) {
    FolderId id;
    if (walk::Identify(folder, id)) m_visited.insert(id);
  }
  m_walkedUntracked.clear();
}

std::string PathWalker::FolderFor(const std::string& folder) {
  if (!m_known || folder.empty()) return folder;
  const auto cached = m_fileFolders.find(folder);
  if (cached != m_fileFolders.end()) return cached->second;
  // Dropped files are few and often share a folder: each folder is identified once per drop.
  std::string use = folder;
  FolderId id;
  if (walk::Identify(folder, id)) use = m_known->Use(id, folder);
  m_fileFolders.emplace(folder, use);
  return use;
}

bool PathWalker::SeenBefore(const FolderId& id, const std::string& path) {
  if (!m_fileAgain || m_files.insert(id).second) return false;
  m_fileAgain(path);
  return true;
}

void PathWalker::AddPath(const std::string& path) {
  if (Stopped()) return;
  std::int64_t size = 0;
  bool link = false;
  switch (walk::Inspect(path, size, link)) {
    case walk::Kind::kFolder:
      return WalkFolder(path, link);
    case walk::Kind::kNeither:
      return Skipped(path);
    case walk::Kind::kFile:
      break;
  }
  FolderId id;
  if (m_fileAgain && walk::Identify(path, id) && SeenBefore(id, path)) return;
  auto [folder, name] = walk::Split(path);
  const std::string use = FolderFor(folder);
  m_found(walk::MakeEntry(use == folder ? path : walk::Join(use, name), size));
}

void PathWalker::WalkFolder(const std::string& root, bool rootIsLink) {
  std::vector<std::pair<std::string, bool>> pending{{root, rootIsLink}};
  std::vector<walk::Entry> entries;
  while (!pending.empty() && !Stopped()) {
    auto [folder, link] = std::move(pending.back());
    pending.pop_back();
    if (link && !m_tracking) StartTracking();
    if (m_tracking) {
      FolderId id;
      if (walk::Identify(folder, id)) {
        if (!m_visited.insert(id).second) continue;
        if (m_known) folder = m_known->Use(id, folder);
      }
    } else {
      m_walkedUntracked.push_back(folder);
      if (m_known) m_known->Walked(folder);
    }
    entries.clear();
    if (!walk::List(folder, entries)) {
      Skipped(folder);
      continue;
    }
    std::vector<std::pair<std::string, bool>> subfolders;
    for (walk::Entry& e : entries) {
      if (e.name.empty() || e.name[0] == '.') continue;  // ".", ".." and every name that begins with a period
      std::string path = walk::Join(folder, e.name);
      if (e.link && m_linkSkipped) m_linkSkipped(path);
      else if (!e.readable) Skipped(path);
      else if (e.folder) subfolders.emplace_back(std::move(path), e.link);
      else if (!e.shared || !SeenBefore(e.id, path)) m_found(walk::MakeEntry(std::move(path), e.size));
    }
    // Depth first, subfolders in listing order.
    pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()), std::make_move_iterator(subfolders.rend()));
  }
}
