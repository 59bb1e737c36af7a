#include "cli/one_disc.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "cli/deliver.h"
#include "cli/disc_tally.h"
#include "cli/output.h"
#include "cli/stopping.h"
#include "search/disc_fit.h"

namespace {

PlanRefusal FitOne(const std::vector<Candidate>& c, const Job& job, const Options& o, Disc& disc) {
  std::vector<std::int64_t> weights;
  const std::vector<int> order = ByWeight(c, false, weights);
  PlanRefusal refusal = PlanRefusal::kNone;
  const auto start = std::chrono::steady_clock::now();
  WithRecordRoom(c, job, [&](std::int64_t room, std::int64_t& needed) {
    if (room < 0) {
      refusal = c.empty() ? PlanRefusal::kNoFiles : PlanRefusal::kPinnedOverCapacity;
      return false;
    }
    Progress progress(o.quiet, room);
    if (!g_signal) g_stop.store(0, std::memory_order_relaxed);
    DiscFit fit;
    {
      TimeLimit limit(job.timeLimit);
      fit = FitDisc(weights, room, job.maxFiles, g_stop, [&](std::int64_t total) { progress.Show(total); });
    }
    refusal = fit.refusal;
    if (refusal != PlanRefusal::kNone) return false;
    disc.files.clear();
    for (int i : fit.chosen) disc.files.push_back(order[i]);
    disc.complete = fit.complete;
    Tally(disc, c, job);
    needed = disc.records;
    return true;
  });
  disc.elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return refusal;
}

}  // namespace

int RunOne(const std::vector<Candidate>& c, const Job& job, const Options& o) {
  Disc disc;
  const PlanRefusal refusal = FitOne(c, job, o, disc);
  if (refusal != PlanRefusal::kNone) return Refuse(refusal, job.capacity);
  WarnLargeFiles({disc}, c, job);
  if (o.json) {
    PrintJson(DiscJson(disc, c, c.size()));
  } else if (o.null) {
    for (int i : disc.files) std::fwrite(c[i].entry->path.c_str(), 1, c[i].entry->path.size() + 1, stdout);
  } else {
    PrintDisc(disc, c, job, nullptr);
  }
  return Deliver({disc}, c, o);
}
