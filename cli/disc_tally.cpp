#include "cli/disc_tally.h"

#include <numeric>
#include <string>

#include "cli/output.h"
#include "discs/model.h"
#include "search/saturating.h"

void Tally(Disc& d, const Collection& c, const Job& job) {
  std::sort(d.files.begin(), d.files.end());
  // Each folder counted once a disc: a stamp per folder tells whether this tally met it yet.
  static thread_local std::vector<std::uint32_t> met;
  static thread_local std::uint32_t tally = 0;
  if (met.size() < c.FolderCount()) met.assign(c.FolderCount(), tally);
  if (++tally == 0) std::fill(met.begin(), met.end(), tally++);
  d.raw = d.total = d.records = d.folders = 0;
  for (std::uint32_t i : d.files) {
    d.raw = SaturatingAdd(d.raw, c[i].size);
    d.total = SaturatingAdd(d.total, c[i].data);
    if (!job.onDisc) continue;
    d.records += c[i].records;
    for (std::uint32_t k = 0; k < c[i].nameCount; ++k) {
      for (std::uint32_t f = c.FolderOf(c[i], k); f != Collection::kRoot && met[f] != tally; f = c.Above(f)) {
        met[f] = tally;
        d.folders += c.FolderBytes(f);
      }
    }
  }
  d.records += d.folders;
  if (job.onDisc) d.total = SaturatingAdd(d.total, FixedBytes(job.model) + d.records);
  d.capacity = job.capacity;
}

Disc MakeDisc(std::vector<std::uint32_t> files, const Collection& c, const Job& job) {
  Disc d;
  d.files = std::move(files);
  Tally(d, c, job);
  return d;
}

std::int64_t AloneOnADisc(const Items& items, std::size_t item, const Collection& c, const Job& job) {
  std::vector<std::uint32_t> files;
  items.ForEachFile(item, [&](std::uint32_t f) { files.push_back(f); });
  return MakeDisc(std::move(files), c, job).total;
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
  DiscRecords records(job.model);
  for (const Candidate& k : c.Files()) {
    for (std::uint32_t n = 0; n < k.nameCount; ++n) records.AddFile(c.OnDisc(k, n), k.size);
  }
  return records.Bytes();
}

std::int64_t DataRoom(const Job& job, std::int64_t records) {
  return job.onDisc ? job.capacity - FixedBytes(job.model) - records : job.capacity;
}
