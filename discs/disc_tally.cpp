#include "discs/disc_tally.h"

#include <algorithm>
#include <numeric>

#include "search/saturating.h"

std::uint32_t FolderTree::Add(std::string_view path, const DiscModel& model) {
  if (path.empty()) return kRoot;
  const auto found = m_ids.find(path);
  if (found != m_ids.end()) return found->second;
  const std::size_t slash = path.rfind('/');
  const std::uint32_t above = Add(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash), model);
  const std::uint32_t id = static_cast<std::uint32_t>(m_above.size());
  m_above.push_back(above);
  m_bytes.push_back(FolderRecordBytes(model, path));
  m_ids.emplace(path, id);
  return id;
}

void DiscTally::Start(const PlanFiles& files, bool onDisc) {
  m_files = &files;
  m_on = onDisc;
  if (m_on && m_mark.size() < files.folders.Count()) m_mark.resize(files.folders.Count(), 0);
  m_disc = ++m_marks;
  m_bytes = m_folders = 0;
}

// Once a folder is on the disc or met by the question, so are those above it.
std::int64_t DiscTally::NewFolders(std::uint32_t file, std::uint64_t mark) {
  if (!m_on) return 0;
  std::int64_t bytes = 0;
  for (std::uint32_t n = m_files->nameStart[file]; n < m_files->nameStart[file + 1]; ++n) {
    for (std::uint32_t f = m_files->folderOfName[n]; f != FolderTree::kRoot && m_mark[f] != m_disc && m_mark[f] != mark;
         f = m_files->folders.Above(f)) {
      m_mark[f] = mark;
      bytes += m_files->folders.Bytes(f);
    }
  }
  return bytes;
}

void Tally(Disc& d, const PlanFiles& files, const DiscRules& rules) {
  std::sort(d.files.begin(), d.files.end());
  static thread_local DiscTally records;  // its folder marks serve every disc
  records.Start(files, rules.onDisc);
  d.raw = d.total = 0;
  for (std::uint32_t i : d.files) {
    d.raw = SaturatingAdd(d.raw, files.size[i]);
    d.total = SaturatingAdd(d.total, files.data[i]);
    records.Add(i);
  }
  d.records = records.Bytes();
  d.folders = records.Folders();
  if (rules.onDisc) d.total = SaturatingAdd(d.total, FixedBytes(rules.model) + rules.carried + d.records);
  d.capacity = rules.capacity;
}

Disc MakeDisc(std::vector<std::uint32_t> files, const PlanFiles& planFiles, const DiscRules& rules) {
  Disc d;
  d.files = std::move(files);
  Tally(d, planFiles, rules);
  return d;
}

std::vector<int> ByWeight(const Items& items, const PlanFiles& files, bool withRecords,
                          std::vector<std::int64_t>& weights) {
  std::vector<std::int64_t> weight(items.Count(), 0);
  for (std::size_t i = 0; i < items.Count(); ++i) {
    items.ForEachFile(i, [&](std::uint32_t f) {
      weight[i] = SaturatingAdd(weight[i], SaturatingAdd(files.data[f], withRecords ? files.records[f] : 0));
    });
  }
  std::vector<int> order(items.Count());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weight[a] > weight[b]; });
  weights.clear();
  weights.reserve(order.size());
  for (int i : order) weights.push_back(weight[i]);
  return order;
}

std::int64_t AllRecords(const PlanFiles& files, const DiscRules& rules) {
  DiscTally records;
  records.Start(files, rules.onDisc);
  for (std::uint32_t i = 0; i < files.Count(); ++i) records.Add(i);
  return records.Bytes();
}

std::int64_t DataRoom(const DiscRules& rules, std::int64_t records) {
  return rules.onDisc ? rules.capacity - FixedBytes(rules.model) - rules.carried - records : rules.capacity;
}
