#include "cli/all_discs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>
#include <utility>

#include "cli/deliver.h"
#include "cli/disc_tally.h"
#include "cli/output.h"
#include "cli/stopping.h"
#include "discs/model.h"
#include "discs/plan.h"
#include "search/disc_fit.h"

namespace {

// What --all allows the search for fewer discs when no time limit is given.
constexpr double kPlanSeconds = 2;

// Files in the order of their paths on the disc, each disc filled until the next file does not
// fit. Files of a folder stay together, so few folders take room on several discs: where folders
// are many and files small, this needs fewer discs than packing by size.
std::vector<Disc> InPathOrder(const std::vector<Candidate>& c, const Job& job, std::vector<int>& oversized) {
  std::vector<int> order(c.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return c[a].onDisc < c[b].onDisc; });
  const std::int64_t room = DataRoom(job, 0);
  std::vector<Disc> discs;
  std::unique_ptr<DiscRecords> records;
  std::int64_t used = 0;
  for (int i : order) {
    const std::string& path = c[i].onDisc;
    if (c[i].data > room - DiscRecords(job.model).Adding(path, c[i].entry->size)) {
      oversized.push_back(i);
      continue;
    }
    if (discs.empty() || static_cast<int>(discs.back().files.size()) >= job.maxFiles ||
        used + c[i].data > room - records->Bytes() - records->Adding(path, c[i].entry->size)) {
      discs.emplace_back();
      records = std::make_unique<DiscRecords>(job.model);
      used = 0;
    }
    used += c[i].data;
    records->AddFile(path, c[i].entry->size);
    discs.back().files.push_back(i);
  }
  for (Disc& d : discs) Tally(d, c, job);
  std::sort(oversized.begin(), oversized.end());
  return discs;
}

}  // namespace

int RunAll(const std::vector<Candidate>& c, const Job& job, const Options& o) {
  if (c.empty()) return Refuse(PlanRefusal::kNoFiles, job.capacity);
  // The files' own records go with their data here, so that the lower bound counts them; only
  // the folders need room set aside.
  std::vector<std::int64_t> weights;
  const std::vector<int> order = ByWeight(c, true, weights);
  DiscPlan plan;
  std::vector<Disc> discs;
  std::int64_t room = 0;
  const auto start = std::chrono::steady_clock::now();
  const bool planned = WithRecordRoom(c, job, [&](std::int64_t dataRoom, std::int64_t& needed) {
    if (dataRoom < 0) return false;
    room = dataRoom;
    if (!g_signal) g_stop.store(0, std::memory_order_relaxed);
    {
      TimeLimit limit(job.timeLimit > 0 ? job.timeLimit : kPlanSeconds);
      plan = PlanDiscs(weights, room, job.maxFiles, g_stop);
    }
    discs.assign(plan.discs.size(), Disc());
    needed = 0;
    for (std::size_t d = 0; d < discs.size(); ++d) {
      for (int i : plan.discs[d]) discs[d].files.push_back(order[i]);
      Tally(discs[d], c, job);
      needed = std::max(needed, discs[d].folders);
    }
    return true;
  });
  if (!planned) return Refuse(PlanRefusal::kPinnedOverCapacity, job.capacity);
  std::vector<int> unplaced;
  for (int i : plan.oversized) unplaced.push_back(order[i]);
  std::sort(unplaced.begin(), unplaced.end());
  // With room set aside for folders, the search's bound holds for less than a disc: the bound
  // for the whole disc is taken again.
  int lower = plan.lowerBound;
  if (room != DataRoom(job, 0)) {
    const std::size_t fits =
        std::find_if(weights.begin(), weights.end(), [&](std::int64_t w) { return w <= DataRoom(job, 0); }) -
        weights.begin();
    lower = DiscLowerBound(Span<const std::int64_t>(weights.data() + fits, weights.size() - fits), DataRoom(job, 0),
                           job.maxFiles);
    std::vector<int> apart;
    std::vector<Disc> inOrder = InPathOrder(c, job, apart);
    if (inOrder.size() < discs.size()) {
      discs = std::move(inOrder);
      unplaced = std::move(apart);
    }
  }
  if (discs.empty()) return Refuse(PlanRefusal::kNothingFits, job.capacity);
  const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::sort(discs.begin(), discs.end(), [](const Disc& a, const Disc& b) { return a.files.front() < b.files.front(); });
  const bool minimum = static_cast<int>(discs.size()) <= lower;
  const std::string count =
      Plural(discs.size(), "disc", "discs") + (minimum ? " (minimum)" : " (lower bound " + std::to_string(lower) + ")");
  for (Disc& d : discs) {
    d.complete = plan.complete;
    d.elapsedMs = elapsed;
  }
  WarnLargeFiles(discs, c, job);
  if (o.json) {
    nlohmann::json all = {{"discs", nlohmann::json::array()},
                          {"unplaced", nlohmann::json::array()},
                          {"disc_count", discs.size()},
                          {"lower_bound", lower},
                          {"minimum", minimum},
                          {"complete", plan.complete}};
    for (const Disc& d : discs) all["discs"].push_back(DiscJson(d, c, c.size()));
    for (int i : unplaced) all["unplaced"].push_back(FileJson(c[i]));
    PrintJson(all);
  } else {
    for (std::size_t i = 0; i < discs.size(); ++i) {
      const std::string heading =
          (i ? "\ndisc " : "disc ") + std::to_string(i + 1) + " of " + std::to_string(discs.size());
      PrintDisc(discs[i], c, job, heading.c_str());
    }
    std::printf("\n%s%s\n", count.c_str(), plan.complete ? "" : ", search for fewer stopped");
    if (!unplaced.empty()) {
      std::printf("\nunplaced (larger than the capacity): %s\n", Plural(unplaced.size(), "file", "files").c_str());
      for (int i : unplaced) std::printf("%s  %s\n", Grouped(c[i].entry->size).c_str(), c[i].entry->path.c_str());
    }
  }
  return Deliver(discs, c, o);
}
