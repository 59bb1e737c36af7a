#include "discs/packing.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "search/saturating.h"

namespace {

std::uint64_t Key(int disc, std::uint32_t folder) { return (static_cast<std::uint64_t>(disc) << 32) | folder; }

}  // namespace

ExactPlan::ExactPlan(const Items& items, const PlanFiles& files, const DiscRules& rules)
    : m_units(items), m_files(files), m_rules(rules), m_room(DataRoom(rules, 0)), m_weight(items.Count(), 0),
      m_fileCountOf(items.Count(), 0), m_discOf(items.Count(), -1) {
  for (std::size_t i = 0; i < items.Count(); ++i) {
    items.ForEachFile(i, [&](std::uint32_t f) {
      m_weight[i] = SaturatingAdd(m_weight[i], SaturatingAdd(files.data[f], rules.onDisc ? files.records[f] : 0));
      ++m_fileCountOf[i];
    });
  }
  m_tree.assign(2, -1);
}

int ExactPlan::NewDisc() {
  const int d = Discs();
  m_load.push_back(0);
  m_fileCount.push_back(0);
  m_items.emplace_back();
  if (static_cast<std::size_t>(d) >= m_leaves) {
    // Twice the leaves, the discs so far copied over.
    std::vector<std::int64_t> old = std::move(m_tree);
    const std::size_t oldLeaves = m_leaves;
    m_leaves *= 2;
    m_tree.assign(2 * m_leaves, -1);
    for (std::size_t i = 0; i < oldLeaves; ++i) m_tree[m_leaves + i] = old[oldLeaves + i];
    for (std::size_t n = m_leaves - 1; n > 0; --n) m_tree[n] = std::max(m_tree[2 * n], m_tree[2 * n + 1]);
  }
  SetFree(d);
  return d;
}

void ExactPlan::SetFree(int disc) {
  const std::size_t d = static_cast<std::size_t>(disc);
  std::size_t n = m_leaves + d;
  m_tree[n] = m_fileCount[d] >= m_rules.maxFiles ? -1 : m_room - m_load[d];
  for (n /= 2; n > 0; n /= 2) m_tree[n] = std::max(m_tree[2 * n], m_tree[2 * n + 1]);
}

// The first disc from `from` on with at least `bytes` free, or -1: down the tree of the most room
// under each node, into the left subtree first.
int ExactPlan::FirstWithFree(std::int64_t bytes, int from) const {
  const auto find = [&](std::size_t node, std::size_t lo, std::size_t hi, const auto& self) -> int {
    if (hi <= static_cast<std::size_t>(from) || m_tree[node] < bytes) return -1;
    if (node >= m_leaves) return lo < static_cast<std::size_t>(Discs()) ? static_cast<int>(lo) : -1;
    const std::size_t mid = (lo + hi) / 2;
    const int left = self(2 * node, lo, mid, self);
    return left >= 0 ? left : self(2 * node + 1, mid, hi, self);
  };
  return from < Discs() ? find(1, 0, m_leaves, find) : -1;
}

std::int64_t ExactPlan::FolderBytesAdded(int item, int disc) const {
  if (!m_rules.onDisc) return 0;
  std::int64_t bytes = 0;
  std::vector<std::uint32_t> seen;
  m_units.ForEachFile(static_cast<std::size_t>(item), [&](std::uint32_t f) {
    for (std::uint32_t n = m_files.nameStart[f]; n < m_files.nameStart[f + 1]; ++n) {
      for (std::uint32_t folder = m_files.folderOfName[n]; folder != FolderTree::kRoot;
           folder = m_files.folders.Above(folder)) {
        if (m_folderUses.count(Key(disc, folder)) || std::find(seen.begin(), seen.end(), folder) != seen.end()) break;
        seen.push_back(folder);
        bytes += m_files.folders.Bytes(folder);
      }
    }
  });
  return bytes;
}

bool ExactPlan::Fits(int item, int disc) const {
  const std::size_t d = static_cast<std::size_t>(disc);
  if (m_fileCount[d] + m_fileCountOf[static_cast<std::size_t>(item)] > m_rules.maxFiles) return false;
  const std::int64_t free = m_room - m_load[d];
  return Weight(item) <= free && Weight(item) + FolderBytesAdded(item, disc) <= free;
}

int ExactPlan::FirstFit(int item, int besides) const {
  for (int d = FirstWithFree(Weight(item), 0); d >= 0; d = FirstWithFree(Weight(item), d + 1)) {
    if (d != besides && Fits(item, d)) return d;
  }
  return -1;
}

void ExactPlan::Put(int item, int disc) {
  const std::size_t d = static_cast<std::size_t>(disc);
  m_load[d] += Weight(item);
  m_fileCount[d] += m_fileCountOf[static_cast<std::size_t>(item)];
  m_items[d].push_back(item);
  m_discOf[static_cast<std::size_t>(item)] = disc;
  if (m_rules.onDisc) {
    // A folder the disc did not hold yet adds its records, once.
    m_units.ForEachFile(static_cast<std::size_t>(item), [&](std::uint32_t f) {
      for (std::uint32_t n = m_files.nameStart[f]; n < m_files.nameStart[f + 1]; ++n) {
        for (std::uint32_t folder = m_files.folderOfName[n]; folder != FolderTree::kRoot;
             folder = m_files.folders.Above(folder)) {
          if (m_folderUses[Key(disc, folder)]++ == 0) m_load[d] += m_files.folders.Bytes(folder);
        }
      }
    });
  }
  SetFree(disc);
}

void ExactPlan::Take(int item) {
  const int disc = m_discOf[static_cast<std::size_t>(item)];
  const std::size_t d = static_cast<std::size_t>(disc);
  m_load[d] -= Weight(item);
  m_fileCount[d] -= m_fileCountOf[static_cast<std::size_t>(item)];
  std::vector<int>& on = m_items[d];
  on.erase(std::find(on.begin(), on.end(), item));
  m_discOf[static_cast<std::size_t>(item)] = -1;
  if (m_rules.onDisc) {
    m_units.ForEachFile(static_cast<std::size_t>(item), [&](std::uint32_t f) {
      for (std::uint32_t n = m_files.nameStart[f]; n < m_files.nameStart[f + 1]; ++n) {
        for (std::uint32_t folder = m_files.folderOfName[n]; folder != FolderTree::kRoot;
             folder = m_files.folders.Above(folder)) {
          const auto at = m_folderUses.find(Key(disc, folder));
          if (--at->second == 0) {
            m_folderUses.erase(at);
            m_load[d] -= m_files.folders.Bytes(folder);
          }
        }
      }
    });
  }
  SetFree(disc);
}

void ExactPlan::Compact() {
  std::vector<int> renumbered(m_load.size(), -1);
  int kept = 0;
  for (int d = 0; d < Discs(); ++d) {
    if (!m_items[static_cast<std::size_t>(d)].empty()) renumbered[static_cast<std::size_t>(d)] = kept++;
  }
  if (kept == Discs()) return;
  // Rebuilt from the items: the folder uses carry the disc numbers.
  std::vector<std::vector<int>> plan;
  for (const std::vector<int>& on : m_items) {
    if (!on.empty()) plan.push_back(on);
  }
  m_load.clear();
  m_fileCount.clear();
  m_items.clear();
  m_folderUses.clear();
  std::fill(m_discOf.begin(), m_discOf.end(), -1);
  m_leaves = 1;
  m_tree.assign(2, -1);
  for (const std::vector<int>& on : plan) {
    const int d = NewDisc();
    for (int item : on) Put(item, d);
  }
}

std::vector<Disc> ExactPlan::Result() const {
  std::vector<Disc> discs;
  for (const std::vector<int>& on : m_items) {
    if (on.empty()) continue;
    std::vector<std::uint32_t> files;
    for (int item : on)
      m_units.ForEachFile(static_cast<std::size_t>(item), [&](std::uint32_t f) { files.push_back(f); });
    discs.push_back(MakeDisc(std::move(files), m_files, m_rules));
  }
  return discs;
}

namespace {

// Items heaviest first, each on the first disc it fits, or a new one.
void PlaceFirstFit(ExactPlan& plan, std::vector<int> items) {
  std::stable_sort(items.begin(), items.end(), [&](int a, int b) { return plan.Weight(a) > plan.Weight(b); });
  for (int item : items) {
    int d = plan.FirstFit(item);
    if (d < 0) d = plan.NewDisc();
    plan.Put(item, d);
  }
}

}  // namespace

std::vector<Disc> FirstFitDecreasing(const Items& items, const PlanFiles& files, const DiscRules& rules) {
  ExactPlan plan(items, files, rules);
  std::vector<int> all(items.Count());
  std::iota(all.begin(), all.end(), 0);
  PlaceFirstFit(plan, all);
  return plan.Result();
}

std::vector<Disc> OneAfterAnother(const std::vector<std::uint32_t>& order, const Items& items, const PlanFiles& files,
                                  const DiscRules& rules) {
  ExactPlan plan(items, files, rules);
  int disc = -1;
  for (std::uint32_t item : order) {
    if (disc < 0 || !plan.Fits(static_cast<int>(item), disc)) disc = plan.NewDisc();
    plan.Put(static_cast<int>(item), disc);
  }
  return plan.Result();
}

std::vector<Disc> InPathOrder(const Items& items, const std::vector<std::string_view>& paths, const PlanFiles& files,
                              const DiscRules& rules) {
  // Folders in path order, and the items of each folder by name: sorting the few folders instead
  // of every path keeps this quick for millions of files.
  const auto folderOf = [](std::string_view path) { return path.substr(0, path.rfind('/') + 1); };
  std::unordered_map<std::string_view, std::uint32_t> folderIds;
  std::vector<std::uint32_t> folderOfItem(items.Count());
  for (std::uint32_t i = 0; i < items.Count(); ++i)
    folderOfItem[i] = folderIds.emplace(folderOf(paths[i]), static_cast<std::uint32_t>(folderIds.size())).first->second;
  std::vector<std::string_view> folders(folderIds.size());
  for (const auto& [path, id] : folderIds) folders[id] = path;
  std::vector<std::uint32_t> byPath(folders.size()), folderRank(folders.size());
  std::iota(byPath.begin(), byPath.end(), 0);
  std::sort(byPath.begin(), byPath.end(), [&](std::uint32_t a, std::uint32_t b) { return folders[a] < folders[b]; });
  for (std::uint32_t r = 0; r < byPath.size(); ++r) folderRank[byPath[r]] = r;
  std::vector<std::uint32_t> order(items.Count());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const std::uint32_t fa = folderRank[folderOfItem[a]], fb = folderRank[folderOfItem[b]];
    return fa != fb ? fa < fb : paths[a] < paths[b];
  });
  return OneAfterAnother(order, items, files, rules);
}

std::vector<Disc> Mended(const DiscList& planned, const Items& items, const PlanFiles& files, const DiscRules& rules) {
  ExactPlan plan(items, files, rules);
  std::vector<int> moved;
  for (const std::vector<int>& on : planned) {
    const int d = plan.NewDisc();
    // Heaviest first, so that what a disc cannot hold is its lightest items.
    std::vector<int> sorted = on;
    std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) { return plan.Weight(a) > plan.Weight(b); });
    for (int item : sorted) {
      if (plan.Fits(item, d)) plan.Put(item, d);
      else moved.push_back(item);
    }
  }
  PlaceFirstFit(plan, moved);
  return plan.Result();
}

std::vector<Disc> Emptied(const std::vector<Disc>& start, const Items& items, const std::vector<int>& itemOf,
                          const PlanFiles& files, const DiscRules& rules, int target,
                          const std::atomic<std::uint8_t>& stop) {
  ExactPlan plan(items, files, rules);
  for (const Disc& d : start) {
    const int disc = plan.NewDisc();
    for (std::uint32_t f : d.files) {
      if (plan.DiscOf(itemOf[f]) < 0) plan.Put(itemOf[f], disc);
    }
  }
  // The least filled disc first; a disc that cannot be emptied is not tried again until another was.
  std::vector<bool> tried(static_cast<std::size_t>(plan.Discs()), false);
  while (plan.Discs() > target && !stop.load(std::memory_order_relaxed)) {
    int lightest = -1;
    for (int d = 0; d < plan.Discs(); ++d) {
      if (!tried[static_cast<std::size_t>(d)] && !plan.ItemsOn(d).empty() &&
          (lightest < 0 || plan.Load(d) < plan.Load(lightest)))
        lightest = d;
    }
    if (lightest < 0) break;
    tried[static_cast<std::size_t>(lightest)] = true;
    std::vector<int> on = plan.ItemsOn(lightest);
    std::stable_sort(on.begin(), on.end(), [&](int a, int b) { return plan.Weight(a) > plan.Weight(b); });
    std::vector<int> placed;
    bool all = true;
    for (int item : on) {
      plan.Take(item);
      const int d = plan.FirstFit(item, lightest);
      if (d < 0) {
        plan.Put(item, lightest);
        all = false;
        break;
      }
      plan.Put(item, d);
      placed.push_back(item);
    }
    if (!all) {
      // Undone: the items moved go back to the disc they left.
      for (int item : placed) {
        plan.Take(item);
        plan.Put(item, lightest);
      }
      continue;
    }
    plan.Compact();
    tried.assign(static_cast<std::size_t>(plan.Discs()), false);
  }
  return plan.Result();
}
