#include "cli/all_discs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "cli/exit_status.h"
#include "cli/mastering.h"
#include "cli/messages.h"
#include "cli/plan_output.h"
#include "cli/stopping.h"
#include "discs/fewest_discs.h"
#include "discs/model.h"
#include "search/saturating.h"

namespace {

// What --all allows the search for fewer discs when no time limit is given.
constexpr double kPlanSeconds = 2;

// The items that some disc holds, and those no disc holds (each is told apart, with what it
// takes on an empty disc, its own records and folders counted).
Items ItemsThatFit(const Items& all, Collection& c, const DiscRules& rules) {
  Items kept;
  DiscTally records;
  for (std::size_t i = 0; i < all.Count(); ++i) {
    records.Start(c.sizes, rules.onDisc);
    std::int64_t alone = rules.onDisc ? FixedBytes(rules.model) + records.Adding(all, i) : 0;
    all.ForEachFile(i, [&](std::uint32_t f) { alone = SaturatingAdd(alone, c.sizes.data[f]); });
    if (alone > rules.capacity) {
      all.ForEachFile(i, [&](std::uint32_t f) {
        c.leftOut.push_back(
            {std::string(c.Source(c[f])), c[f].size,
             "larger than a disc: " + Grouped(alone) + " bytes on one, " + Grouped(rules.capacity) + " bytes in all"});
      });
      continue;
    }
    all.ForEachFile(i, [&](std::uint32_t f) { kept.files.push_back(f); });
    kept.start.push_back(static_cast<std::uint32_t>(kept.files.size()));
  }
  return kept;
}

// The path on the disc of each item's first file, for plans in path order.
std::vector<std::string_view> ItemPaths(const Items& items, const Collection& c) {
  std::vector<std::string_view> paths(items.Count());
  for (std::size_t i = 0; i < items.Count(); ++i) paths[i] = c.OnDisc(c[items.files[items.start[i]]]);
  return paths;
}

void PrintAllJson(const std::vector<Disc>& discs, const Collection& c, const Job& job, int lower, bool minimum,
                  bool complete, int firstNumber) {
  // Disc by disc, file by file, so that a plan of a million files never stands in memory as one
  // document.
  JsonWriter w(stdout);
  w.BeginObject();
  w.Key("accounting");
  w.String(Accounting(job, true));
  w.Key("complete");
  w.Bool(complete);
  w.Key("disc_count");
  w.Int(static_cast<std::int64_t>(discs.size()));
  w.Key("discs");
  w.BeginArray();
  for (std::size_t i = 0; i < discs.size(); ++i)
    WriteDiscJson(w, discs[i], c, c.Count(), nullptr, firstNumber ? firstNumber + static_cast<int>(i) : 0);
  w.EndArray();
  w.Key("interrupted");
  w.Bool(Interrupted());
  w.Key("lower_bound");
  w.Int(lower);
  w.Key("minimum");
  w.Bool(minimum);
  w.Key("not_on_any_disc");
  WriteLeftOutJson(w, c.leftOut);
  w.EndObject();
  std::fputc('\n', stdout);
}

void PrintAllText(const std::vector<Disc>& discs, const Collection& c, const Job& job, int lower, bool minimum,
                  bool complete, int firstNumber) {
  for (std::size_t i = 0; i < discs.size(); ++i) {
    const std::string of = std::to_string(i + 1) + " of " + std::to_string(discs.size());
    const std::string heading =
        std::string(i ? "\ndisc " : "disc ") +
        (firstNumber ? std::to_string(firstNumber + static_cast<int>(i)) + " (" + of + ")" : of);
    PrintDisc(discs[i], c, job, heading.c_str());
  }
  const std::string count =
      Plural(discs.size(), "disc", "discs") + (minimum ? " (minimum)" : " (lower bound " + std::to_string(lower) + ")");
  std::printf("\n%s%s, counted %s\n", count.c_str(),
              complete        ? ""
              : Interrupted() ? ", interrupted"
                              : ", search for fewer stopped",
              Accounting(job, false).c_str());
  PrintLeftOut(c.leftOut);
}

}  // namespace

ExitStatus RunAll(Collection& c, const Job& job, const Options& o, Delivery& delivery, int firstNumber) {
  const DiscRules rules = RulesOf(job);
  if (c.Count() == 0) return Refuse(PlanRefusal::kNoFiles, job.capacity, c.leftOut);
  if (DataRoom(rules, 0) < 0) return Refuse(PlanRefusal::kPinnedOverCapacity, job.capacity, c.leftOut);
  const Items items = ItemsThatFit(MakeItems(c, job), c, rules);
  if (items.Count() == 0) return Refuse(PlanRefusal::kNothingFits, job.capacity, c.leftOut);
  if (Interrupted()) {
    Complain("interrupted before the first plan: nothing planned");
    return Signalled(g_signal);
  }
  const auto start = std::chrono::steady_clock::now();
  Progress progress(o.quiet);
  const std::string what = c.groups.empty() ? Plural(items.Count(), "file", "files")
                                            : Plural(items.Count(), "file or folder", "files and folders");
  FewestDiscs plan = PlanFewestDiscs(
      items, c.sizes, rules, ItemPaths(items, c), job.timeLimit > 0 ? job.timeLimit : kPlanSeconds, g_stop,
      [] { return g_signal != 0; },
      [&](int lower, std::size_t discs) {
        progress.Show("planning " + what + ": at least " + Plural(static_cast<std::size_t>(lower), "disc", "discs") +
                      ", " + Plural(discs, "disc", "discs") + " so far");
      },
      o.firstFitOnly);
  std::vector<Disc>& discs = plan.discs;
  const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::sort(discs.begin(), discs.end(), [](const Disc& a, const Disc& b) { return a.files.front() < b.files.front(); });
  const bool minimum = static_cast<int>(discs.size()) <= plan.lowerBound;
  for (Disc& d : discs) {
    d.complete = plan.complete;
    d.elapsedMs = elapsed;
  }
  WarnLargeFiles(discs, c, job);
  if (o.json) PrintAllJson(discs, c, job, plan.lowerBound, minimum, plan.complete, firstNumber);
  else PrintAllText(discs, c, job, plan.lowerBound, minimum, plan.complete, firstNumber);
  std::fflush(stdout);
  return Finished(delivery.Deliver(discs, c, job), !c.leftOut.empty());
}
