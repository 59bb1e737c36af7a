#include "cli/all_discs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "cli/deliver.h"
#include "cli/disc_tally.h"
#include "cli/exit_status.h"
#include "cli/mastering.h"
#include "cli/messages.h"
#include "cli/plan_output.h"
#include "cli/stopping.h"
#include "discs/model.h"
#include "discs/plan.h"
#include "search/saturating.h"

namespace {

// What --all allows the search for fewer discs when no time limit is given.
constexpr double kPlanSeconds = 2;

// The items that some disc holds, and those no disc holds (each is told apart, with what it
// takes on an empty disc, its own records and folders counted).
Items ItemsThatFit(const Items& all, Collection& c, const Job& job) {
  Items kept;
  RecordTally records;
  for (std::size_t i = 0; i < all.Count(); ++i) {
    records.Start(c, job);
    std::int64_t alone = job.onDisc ? FixedBytes(job.model) + records.Adding(all, i) : 0;
    all.ForEachFile(i, [&](std::uint32_t f) { alone = SaturatingAdd(alone, c[f].data); });
    if (alone > job.capacity) {
      all.ForEachFile(i, [&](std::uint32_t f) {
        c.leftOut.push_back(
            {std::string(c.Source(c[f])), c[f].size,
             "larger than a disc: " + Grouped(alone) + " bytes on one, " + Grouped(job.capacity) + " bytes in all"});
      });
      continue;
    }
    all.ForEachFile(i, [&](std::uint32_t f) { kept.files.push_back(f); });
    kept.start.push_back(static_cast<std::uint32_t>(kept.files.size()));
  }
  return kept;
}

// The items in the order given, each disc filled until the next item does not fit (with its
// records and folders counted, and the file limit); then the next disc.
std::vector<Disc> OneAfterAnother(const std::vector<std::uint32_t>& order, const Items& items, const Collection& c,
                                  const Job& job) {
  const std::int64_t room = DataRoom(job, 0);
  std::vector<Disc> discs;
  RecordTally records;
  std::int64_t used = 0;
  for (std::uint32_t item : order) {
    std::int64_t data = 0;
    std::size_t count = 0;
    items.ForEachFile(item, [&](std::uint32_t f) {
      data += c[f].data;
      ++count;
    });
    if (discs.empty() || static_cast<int>(discs.back().files.size() + count) > job.maxFiles ||
        used + data > room - records.Bytes() - records.Adding(items, item)) {
      discs.emplace_back();
      records.Start(c, job);
      used = 0;
    }
    used += data;
    items.ForEachFile(item, [&](std::uint32_t f) {
      discs.back().files.push_back(f);
      records.Add(f);
    });
  }
  for (Disc& d : discs) Tally(d, c, job);
  return discs;
}

// Files in the order of their paths on the disc, one disc after another. Files of a folder stay
// together, so few folders take room on several discs: where folders are many and files small,
// this needs fewer discs than packing by size.
std::vector<Disc> InPathOrder(const Items& items, const Collection& c, const Job& job) {
  // Folders in path order, and the items of each folder by name: sorting the few folders instead
  // of every path keeps this quick for millions of files.
  const auto pathOf = [&](std::uint32_t item) { return c.OnDisc(c[items.files[items.start[item]]]); };
  const auto folderOf = [&](std::string_view path) { return path.substr(0, path.rfind('/') + 1); };
  std::unordered_map<std::string_view, std::uint32_t> folderIds;
  std::vector<std::uint32_t> folderOfItem(items.Count());
  for (std::uint32_t i = 0; i < items.Count(); ++i)
    folderOfItem[i] =
        folderIds.emplace(folderOf(pathOf(i)), static_cast<std::uint32_t>(folderIds.size())).first->second;
  std::vector<std::string_view> folders(folderIds.size());
  for (const auto& [path, id] : folderIds) folders[id] = path;
  std::vector<std::uint32_t> folderRank(folders.size());
  {
    std::vector<std::uint32_t> byPath(folders.size());
    std::iota(byPath.begin(), byPath.end(), 0);
    std::sort(byPath.begin(), byPath.end(), [&](std::uint32_t a, std::uint32_t b) { return folders[a] < folders[b]; });
    for (std::uint32_t r = 0; r < byPath.size(); ++r) folderRank[byPath[r]] = r;
  }
  std::vector<std::uint32_t> order(items.Count());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const std::uint32_t fa = folderRank[folderOfItem[a]], fb = folderRank[folderOfItem[b]];
    return fa != fb ? fa < fb : pathOf(a) < pathOf(b);
  });
  return OneAfterAnother(order, items, c, job);
}

// A plan cut short by a signal before its discs were checked: a disc over the capacity gives up
// its smallest items, about as many bytes as it is over, until it fits; those go on new discs,
// one after another (each holds any one of them).
void Repair(std::vector<Disc>& discs, const Items& items, const std::vector<int>& itemOf, const Collection& c,
            const Job& job) {
  std::vector<std::uint32_t> moved;  // items
  std::vector<bool> out(c.Count(), false);
  for (Disc& d : discs) {
    while (!d.Fits() && !d.files.empty()) {
      // The smallest files stand last; an item's files leave together.
      std::int64_t over = d.total - d.capacity;
      for (auto f = d.files.rbegin(); f != d.files.rend() && over > 0; ++f) {
        if (out[*f]) continue;
        const std::uint32_t item = static_cast<std::uint32_t>(itemOf[*f]);
        items.ForEachFile(item, [&](std::uint32_t g) {
          out[g] = true;
          over -= c[g].data + c[g].records;
        });
        moved.push_back(item);
      }
      d.files.erase(std::remove_if(d.files.begin(), d.files.end(), [&](std::uint32_t f) { return out[f]; }),
                    d.files.end());
      Tally(d, c, job);
    }
  }
  discs.erase(std::remove_if(discs.begin(), discs.end(), [](const Disc& d) { return d.files.empty(); }), discs.end());
  for (Disc& d : OneAfterAnother(moved, items, c, job)) discs.push_back(std::move(d));
}

void PrintAllJson(const std::vector<Disc>& discs, const Collection& c, const Job& job, int lower, bool minimum,
                  bool complete) {
  // Disc by disc, so that a plan of a million files never stands in memory as one document.
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
  for (const Disc& d : discs) WriteDiscJson(w, d, c, c.Count());
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

}  // namespace

ExitStatus RunAll(Collection& c, const Job& job, const Options& o, Delivery& delivery) {
  if (c.Count() == 0) return Refuse(PlanRefusal::kNoFiles, job.capacity, c.leftOut);
  if (DataRoom(job, 0) < 0) return Refuse(PlanRefusal::kPinnedOverCapacity, job.capacity, c.leftOut);
  const Items items = ItemsThatFit(MakeItems(c, job), c, job);
  if (items.Count() == 0) return Refuse(PlanRefusal::kNothingFits, job.capacity, c.leftOut);
  std::vector<int> itemOf(c.Count(), -1);
  for (std::size_t i = 0; i < items.Count(); ++i)
    items.ForEachFile(i, [&](std::uint32_t f) { itemOf[f] = static_cast<int>(i); });

  // The files' own records go with their data here, so that the lower bound counts them; only
  // the folders need room set aside.
  std::vector<std::int64_t> weights;
  const std::vector<int> order = ByWeight(items, c, true, weights);
  if (Interrupted()) {
    Complain("interrupted before the first plan: nothing planned");
    return Signalled(g_signal);
  }
  // Every item fits an empty disc, so the bound over the whole disc's room holds whatever room
  // the plans set aside.
  const int bound = DiscLowerBound(weights, DataRoom(job, 0), job.maxFiles);
  Progress progress(o.quiet);
  const auto show = [&](const std::string& best) {
    progress.Show("planning " +
                  (c.groups.empty() ? Plural(items.Count(), "file", "files")
                                    : Plural(items.Count(), "file or folder", "files and folders")) +
                  ": at least " + Plural(static_cast<std::size_t>(bound), "disc", "discs") + best);
  };
  show("");
  DiscPlan plan;
  std::vector<Disc> discs;
  std::int64_t room = 0;
  const auto start = std::chrono::steady_clock::now();
  WithRecordRoom(c, job, [&](std::int64_t dataRoom, std::int64_t& needed) {
    room = dataRoom;
    if (!g_signal) g_stop.store(0, std::memory_order_relaxed);
    {
      TimeLimit limit(job.timeLimit > 0 ? job.timeLimit : kPlanSeconds);
      plan = PlanDiscs(weights, room, job.maxFiles, g_stop);
    }
    discs.clear();
    for (const std::vector<int>& planned : plan.discs) {
      discs.emplace_back();
      for (int i : planned) items.ForEachFile(order[i], [&](std::uint32_t f) { discs.back().files.push_back(f); });
    }
    // An item that fits an empty disc but not the room kept for folders has a disc of its own.
    for (int i : plan.oversized) {
      discs.emplace_back();
      items.ForEachFile(order[i], [&](std::uint32_t f) { discs.back().files.push_back(f); });
    }
    needed = 0;
    bool fit = true;
    for (Disc& d : discs) {
      Tally(d, c, job);
      needed = std::max(needed, d.folders);
      fit = fit && d.Fits();
    }
    if (fit) needed = 0;
    show(", " + Plural(discs.size(), "disc", "discs") + (fit ? "" : " before room for folders"));
    if (Interrupted()) {
      if (std::any_of(discs.begin(), discs.end(), [](const Disc& d) { return !d.Fits(); }))
        Repair(discs, items, itemOf, c, job);
      needed = 0;  // no other round: the plan is mended instead
    }
    return true;
  });
  const int lower = room == DataRoom(job, 0) ? std::max(plan.lowerBound, bound) : bound;
  // Only a plan above the bound can do better, and only where room was kept for folders.
  if (room != DataRoom(job, 0) && static_cast<int>(discs.size()) > lower && !Interrupted()) {
    std::vector<Disc> inOrder = InPathOrder(items, c, job);
    if (inOrder.size() < discs.size()) discs = std::move(inOrder);
  }
  const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::sort(discs.begin(), discs.end(), [](const Disc& a, const Disc& b) { return a.files.front() < b.files.front(); });
  const bool minimum = static_cast<int>(discs.size()) <= lower;
  for (Disc& d : discs) {
    d.complete = plan.complete;
    d.elapsedMs = elapsed;
  }
  WarnLargeFiles(discs, c, job);
  if (o.json) {
    PrintAllJson(discs, c, job, lower, minimum, plan.complete);
  } else {
    for (std::size_t i = 0; i < discs.size(); ++i) {
      const std::string heading =
          (i ? "\ndisc " : "disc ") + std::to_string(i + 1) + " of " + std::to_string(discs.size());
      PrintDisc(discs[i], c, job, heading.c_str());
    }
    const std::string count = Plural(discs.size(), "disc", "discs") +
                              (minimum ? " (minimum)" : " (lower bound " + std::to_string(lower) + ")");
    std::printf("\n%s%s, counted %s\n", count.c_str(),
                plan.complete   ? ""
                : Interrupted() ? ", interrupted"
                                : ", search for fewer stopped",
                Accounting(job, false).c_str());
    PrintLeftOut(c.leftOut);
  }
  std::fflush(stdout);
  return Finished(delivery.Deliver(discs, c, job), !c.leftOut.empty());
}
