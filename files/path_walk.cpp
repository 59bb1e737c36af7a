#include "files/path_walk.h"

#include <unordered_set>

namespace {

// Below this many paths in one folder, looking at each path by itself is cheaper than listing.
constexpr std::size_t kListFolderFrom = 16;
// A listing is given up past this many entries for each path wanted from it: reading a listing
// entry costs a small fraction of looking at one path by itself, so the bound keeps the worst
// case (a few files from a huge folder) near the cost of the lookups.
constexpr std::size_t kListingEntriesPerPath = 16;

}  // namespace

void FolderPaths::NoteWalked(const std::string& path) {
  m_unidentified.push_back(path);
  m_walkedByKey.emplace(walk::FolderKey(path), path);
}

bool FolderPaths::Identify(const std::string& folder, FolderId& id) {
  ++m_identified;
  return walk::Identify(folder, id);
}

std::string FolderPaths::PathThroughLink(const FolderId& id, const std::string& path) {
  // A link may lead into any folder walked before: from now on they are all known by identity.
  for (const std::string& walked : m_unidentified) {
    FolderId walkedId;
    if (Identify(walked, walkedId)) m_first.emplace(walkedId, walked);
  }
  m_unidentified.clear();
  return UseIdentified(id, path);
}

std::string FolderPaths::UseIdentified(const FolderId& id, const std::string& path) {
  const auto [it, added] = m_first.emplace(id, path);
  if (added || it->second == path) return path;
  FolderId again;
  if (Identify(it->second, again) && again == id) return it->second;
  it->second = path;  // the first path leads elsewhere now
  return path;
}

std::string FolderPaths::PathForFilesIn(const std::string& folder) {
  const auto walked = m_walkedByKey.find(walk::FolderKey(folder));
  if (walked != m_walkedByKey.end()) return walked->second;
  FolderId id;
  if (!Identify(folder, id)) return folder;
  // On a path without links the folder can only be one that was identified already (reached
  // through a link); only a link above it can make it one of the folders walked by path alone.
  return walk::LinkAbove(folder) ? PathThroughLink(id, folder) : UseIdentified(id, folder);
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
  // Dropped files often share a folder: each folder is looked up once per drop.
  return m_fileFolders.emplace(folder, m_known->PathForFilesIn(folder)).first->second;
}

void PathWalker::AddPaths(const std::vector<std::string>& paths) {
  std::unordered_map<std::string, std::unordered_set<std::string>> byFolder;
  for (const std::string& path : paths) {
    auto [folder, name] = walk::Split(path);
    if (!name.empty()) byFolder[folder].insert(std::move(name));
  }
  std::vector<walk::Entry> entries;
  for (const auto& [folder, names] : byFolder) {
    if (names.size() < kListFolderFrom || folder.empty()) continue;
    entries.clear();
    if (!walk::List(folder, entries, names.size() * kListingEntriesPerPath)) continue;
    for (walk::Entry& e : entries) {
      if (names.count(e.name)) m_listed.emplace(walk::Join(folder, e.name), std::move(e));
    }
  }
  for (const std::string& path : paths) AddPath(path);
  m_listed.clear();
}

// What the listing of its folder said of a path, or what the path says of itself.
walk::Kind PathWalker::Inspect(const std::string& path, std::int64_t& size, bool& link) const {
  const auto listed = m_listed.find(path);
  if (listed == m_listed.end()) return walk::Inspect(path, size, link);
  const walk::Entry& e = listed->second;
  size = e.size;
  link = e.link;
  if (!e.readable) return walk::Kind::kNeither;
  return e.folder ? walk::Kind::kFolder : walk::Kind::kFile;
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
  switch (Inspect(path, size, link)) {
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
  // A folder under a link can be reached by other paths too: such a walk identifies its folders.
  const bool linked = rootIsLink || (m_known && !m_tracking && walk::LinkAbove(root));
  std::vector<std::pair<std::string, bool>> pending{{root, linked}};
  std::vector<walk::Entry> entries;
  while (!pending.empty() && !Stopped()) {
    auto [folder, link] = std::move(pending.back());
    pending.pop_back();
    if (link && !m_tracking) StartTracking();
    if (m_tracking) {
      FolderId id;
      if (walk::Identify(folder, id)) {
        if (!m_visited.insert(id).second) continue;
        if (m_known) folder = m_known->PathThroughLink(id, folder);
      }
    } else {
      m_walkedUntracked.push_back(folder);
      if (m_known) m_known->NoteWalked(folder);
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
    pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                   std::make_move_iterator(subfolders.rend()));
  }
}
