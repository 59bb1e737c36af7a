#include "cli/disc_tally.h"

#include <numeric>
#include <string>

#include "cli/messages.h"
#include "discs/model.h"
#include "search/saturating.h"

void RecordTally::Start(const Collection& c, const Job& job) {
  m_c = &c;
  m_on = job.onDisc;
  if (m_on && m_mark.size() < c.FolderCount()) m_mark.resize(c.FolderCount(), 0);
  m_disc = ++m_marks;
  m_bytes = m_folders = 0;
}

// Once a folder is on the disc or met by the question, so are those above it.
std::int64_t RecordTally::NewFolders(std::uint32_t file, std::uint64_t mark) {
  if (!m_on) return 0;
  const Candidate& c = (*m_c)[file];
  std::int64_t bytes = 0;
  for (std::uint32_t k = 0; k < c.nameCount; ++k) {
    for (std::uint32_t f = m_c->FolderOf(c, k); f != Collection::kRoot && m_mark[f] != m_disc && m_mark[f] != mark;
         f = m_c->Above(f)) {
      m_mark[f] = mark;
      bytes += m_c->FolderBytes(f);
    }
  }
  return bytes;
}

void Tally(Disc& d, const Collection& c, const Job& job) {
  std::sort(d.files.begin(), d.files.end());
  static thread_local RecordTally records;  // its folder marks serve every disc
  records.Start(c, job);
  d.raw = d.total = 0;
  for (std::uint32_t i : d.files) {
    d.raw = SaturatingAdd(d.raw, c[i].size);
    d.total = SaturatingAdd(d.total, c[i].data);
    records.Add(i);
  }
  d.records = records.Bytes();
  d.folders = records.Folders();
  if (job.onDisc) d.total = SaturatingAdd(d.total, FixedBytes(job.model) + d.records);
  d.capacity = job.capacity;
}

Disc MakeDisc(std::vector<std::uint32_t> files, const Collection& c, const Job& job) {
  Disc d;
  d.files = std::move(files);
  Tally(d, c, job);
  return d;
}

Items MakeItems(const Collection& c, const Job& job) {
  Items items;
  items.files.reserve(c.Count());
  std::vector<std::vector<std::uint32_t>> groups(c.groups.size());
  for (std::uint32_t i = 0; i < c.Count(); ++i) {
    if (c[i].group != kNoGroup) groups[c[i].group].push_back(i);
  }
  std::vector<bool> whole(groups.size(), true), placed(groups.size(), false);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const Disc alone = MakeDisc(groups[g], c, job);
    if (alone.Fits()) continue;
    whole[g] = false;
    Warn("the folder " + c.groups[g] + " (" + Plural(groups[g].size(), "file", "files") + ", " + Grouped(alone.total) +
         " bytes on a disc) is larger than a disc: its files are planned one by one");
  }
  const auto end = [&] { items.start.push_back(static_cast<std::uint32_t>(items.files.size())); };
  for (std::uint32_t i = 0; i < c.Count(); ++i) {
    const std::uint32_t g = c[i].group;
    if (g == kNoGroup || !whole[g]) {
      items.files.push_back(i);
      end();
    } else if (!placed[g]) {
      placed[g] = true;
      items.files.insert(items.files.end(), groups[g].begin(), groups[g].end());
      end();
    }
  }
  return items;
}

std::vector<int> ByWeight(const Items& items, const Collection& c, bool withRecords,
                          std::vector<std::int64_t>& weights) {
  std::vector<std::int64_t> weight(items.Count(), 0);
  for (std::size_t i = 0; i < items.Count(); ++i) {
    items.ForEachFile(i, [&](std::uint32_t f) {
      weight[i] = SaturatingAdd(weight[i], SaturatingAdd(c[f].data, withRecords ? c[f].records : 0));
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

std::int64_t AllRecords(const Collection& c, const Job& job) {
  RecordTally records;
  records.Start(c, job);
  for (std::uint32_t i = 0; i < c.Count(); ++i) records.Add(i);
  return records.Bytes();
}

std::int64_t DataRoom(const Job& job, std::int64_t records) {
  return job.onDisc ? job.capacity - FixedBytes(job.model) - records : job.capacity;
}
