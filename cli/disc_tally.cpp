#include "cli/disc_tally.h"

#include <numeric>

#include "discs/model.h"
#include "search/saturating.h"

void Tally(Disc& d, const std::vector<Candidate>& c, const Job& job) {
  std::sort(d.files.begin(), d.files.end());
  DiscRecords records(job.model);
  d.raw = d.total = d.folders = 0;
  for (int i : d.files) {
    d.raw = SaturatingAdd(d.raw, c[i].entry->size);
    d.total = SaturatingAdd(d.total, c[i].data);
    d.folders -= c[i].records;
    if (job.onDisc) records.AddFile(c[i].onDisc, c[i].entry->size);
  }
  d.records = records.Bytes();
  d.folders += d.records;
  if (job.onDisc) d.total = SaturatingAdd(d.total, FixedBytes(job.model) + d.records);
  d.capacity = job.capacity;
}

std::vector<int> ByWeight(const std::vector<Candidate>& c, bool withRecords, std::vector<std::int64_t>& weights) {
  std::vector<int> order(c.size());
  std::iota(order.begin(), order.end(), 0);
  const auto weight = [&](int i) { return c[i].data + (withRecords ? c[i].records : 0); };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weight(a) > weight(b); });
  weights.clear();
  for (int i : order) weights.push_back(weight(i));
  return order;
}

std::int64_t AllRecords(const std::vector<Candidate>& c, const Job& job) {
  DiscRecords records(job.model);
  for (const Candidate& k : c) records.AddFile(k.onDisc, k.entry->size);
  return records.Bytes();
}

std::int64_t DataRoom(const Job& job, std::int64_t records) {
  return job.onDisc ? job.capacity - FixedBytes(job.model) - records : job.capacity;
}
