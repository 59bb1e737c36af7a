#include "discs/plan.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>
#include <set>
#include <utility>

#include "discs/bin_completion.h"
#include "discs/diving.h"
#include "discs/relaxation.h"
#include "discs/repacking.h"
#include "discs/stop_after.h"
#include "search/byte_count.h"
#include "search/disc_fit.h"

namespace {

// The exact search costs about items times discs per node, and the disc-by-disc plan items
// times discs in all: past these they are not tried.
constexpr long long kSearchLimit = 4'000'000;
constexpr long long kDiscByDiscLimit = 10'000'000;
// The first budgets of repacking (moves) and of the exact search (nodes, about as costly).
constexpr long long kFirstBudget = 1000;
constexpr long long kNodesPerMove = 20;
// The linear relaxation is solved for up to this many items, with a budget of knapsack nodes
// for each turn until it ends.
constexpr std::size_t kRelaxedItems = 400;
// Past that many items, groups of about this many are planned apart first.
constexpr std::size_t kDealtItems = 200;
constexpr long long kRelaxNodesPerMove = 10'000;

}  // namespace

DiscList BestFitDiscs(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  DiscList discs;
  std::set<std::pair<std::int64_t, int>> room;  // free space and disc, of the discs that take more
  for (int i = 0; i < static_cast<int>(sizes.size()); ++i) {
    auto it = room.lower_bound({sizes[i], -1});
    std::int64_t free = capacity - sizes[i];
    int d = static_cast<int>(discs.size());
    if (it == room.end()) {
      discs.emplace_back();
    } else {
      d = it->second;
      free = it->first - sizes[i];
      room.erase(it);
    }
    discs[d].push_back(i);
    if (static_cast<int>(discs[d].size()) < maxPerDisc) room.emplace(free, d);
  }
  return discs;
}

DiscList DiscByDisc(Span<const std::int64_t> sizes, std::int64_t capacity, const std::atomic<std::uint8_t>& stop) {
  DiscList discs;
  std::vector<int> left(sizes.size());
  for (std::size_t i = 0; i < left.size(); ++i) left[i] = static_cast<int>(i);
  std::vector<std::int64_t> leftSizes(sizes.begin(), sizes.end());
  while (!left.empty() && !stop.load(std::memory_order_relaxed)) {
    const DiscFit fit = FitDisc(leftSizes, capacity, kNoFileLimit, stop);
    if (fit.refusal != PlanRefusal::kNone) break;
    std::vector<int> disc;
    std::vector<bool> taken(left.size(), false);
    for (int c : fit.chosen) {
      taken[c] = true;
      disc.push_back(left[c]);
    }
    discs.push_back(std::move(disc));
    std::size_t kept = 0;
    for (std::size_t c = 0; c < left.size(); ++c) {
      if (taken[c]) continue;
      left[kept] = left[c];
      leftSizes[kept++] = leftSizes[c];
    }
    left.resize(kept);
    leftSizes.resize(kept);
  }
  for (std::vector<int>& disc : BestFitDiscs(leftSizes, capacity, kNoFileLimit)) {
    for (int& i : disc) i = left[i];
    discs.push_back(std::move(disc));
  }
  return discs;
}

DiscList Dealt(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, double seconds,
               const std::atomic<std::uint8_t>& stop) {
  // Groups of about kDealtItems, item i to group i mod k: each group has the sizes of the whole.
  const std::size_t groups = (sizes.size() + kDealtItems - 1) / kDealtItems;
  DiscList discs;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t g = 0; g < groups; ++g) {
    if (stop.load(std::memory_order_relaxed)) return {};
    std::vector<int> members;
    std::vector<std::int64_t> groupSizes;
    for (std::size_t i = g; i < sizes.size(); i += groups) {
      members.push_back(static_cast<int>(i));
      groupSizes.push_back(sizes[i]);
    }
    // Each group its share of the time left; the plan's own stop flag is looked at between them.
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::atomic<std::uint8_t> groupStop{0};
    DiscPlan plan;
    {
      StopAfter limit(groupStop, std::max(1e-3, (seconds - spent) / static_cast<double>(groups - g)));
      plan = PlanDiscs(groupSizes, capacity, maxPerDisc, groupStop);
    }
    for (const std::vector<int>& disc : plan.discs) {
      discs.emplace_back();
      for (int i : disc) discs.back().push_back(members[static_cast<std::size_t>(i)]);
      std::sort(discs.back().begin(), discs.back().end());
    }
  }
  return discs;
}

DiscPlan PlanDiscs(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc,
                   const std::atomic<std::uint8_t>& stop, double seconds) {
  DiscPlan plan;
  std::size_t first = 0;
  while (first < sizes.size() && sizes[first] > capacity) plan.oversized.push_back(static_cast<int>(first++));
  const Span<const std::int64_t> items = sizes.subspan(first);
  const Reduced reduced = ReduceAndBound(items, capacity, maxPerDisc);
  const DiscList& fixed = reduced.fixed;
  const std::vector<int>& rest = reduced.rest;
  const std::vector<std::int64_t>& restSizes = reduced.restSizes;
  const int fixedCount = static_cast<int>(fixed.size());
  plan.lowerBound = reduced.bound;
  DiscList best = BestFitDiscs(items, capacity, maxPerDisc);
  DiscList left = fixed.empty() ? best : BestFitDiscs(restSizes, capacity, maxPerDisc);
  // More items than the relaxation takes: each group of them dealt out by size is planned
  // closely, and the groups' discs are a start that repacking then joins.
  if (seconds > 0 && restSizes.size() > kRelaxedItems &&
      static_cast<int>(left.size()) > plan.lowerBound - static_cast<int>(fixed.size())) {
    DiscList dealt = Dealt(restSizes, capacity, maxPerDisc, seconds / 2, stop);
    if (!dealt.empty() && dealt.size() < left.size()) left = std::move(dealt);
  }
  if (static_cast<int>(best.size()) > plan.lowerBound && maxPerDisc == kNoFileLimit &&
      static_cast<long long>(items.size()) * plan.lowerBound <= kDiscByDiscLimit) {
    DiscList byDisc = DiscByDisc(items, capacity, stop);
    if (byDisc.size() < best.size()) best = std::move(byDisc);
  }
  // The discs the reduction fixed belong to a plan of the fewest discs: the search packs only
  // the items left. The linear relaxation may raise the bound, and its rounded solution is a
  // start; the dive over it and repacking into one disc fewer find most plans at the bound; the
  // exact search finds the rest or proves the bound one higher. All run with budgets that double
  // until one of them settles the question or the stop flag is set.
  const auto improve = [&] {
    if (fixedCount + left.size() >= best.size()) return;
    best = fixed;
    for (const std::vector<int>& disc : left) {
      best.emplace_back();
      for (int i : disc) best.back().push_back(rest[i]);
    }
  };
  improve();
  if (static_cast<long long>(rest.size()) * static_cast<long long>(left.size()) <= kSearchLimit) {
    const auto target = [&] { return plan.lowerBound - fixedCount; };
    Repacker repacker(restSizes, capacity, maxPerDisc, stop);
    Packer packer(restSizes, capacity, maxPerDisc, stop);
    Diver diver(restSizes, capacity, maxPerDisc, stop);
    // Whatever the largest items alone need, all need: where many small items make the exact
    // search too wide to prove anything, it may still prove the bound too low for the items over
    // a tenth of a disc.
    const std::size_t large =
        std::find_if(restSizes.begin(), restSizes.end(), [&](std::int64_t v) { return v < capacity / 10; }) -
        restSizes.begin();
    const Span<const std::int64_t> largeSizes(restSizes.data(), large);
    Packer largePacker(largeSizes, capacity, maxPerDisc, stop);
    int largeFits = 0;  // a number of discs the large items are known to fit
    bool relaxed = false;
    for (long long budget = kFirstBudget; static_cast<int>(best.size()) > plan.lowerBound; budget *= 2) {
      if (stop.load(std::memory_order_relaxed)) {
        plan.complete = false;
        break;
      }
      // The relaxation of the items over a tenth of a disc, whose knapsacks stay small: of all
      // items where no others are left, with a plan to start from.
      if (!relaxed && large > 0 && large <= kRelaxedItems) {
        const bool all = large == restSizes.size();
        long long nodes = budget * kRelaxNodesPerMove;
        const Relaxation lp = Relax(largeSizes, capacity, maxPerDisc,
                                    all ? left : BestFitDiscs(largeSizes, capacity, maxPerDisc), target(), nodes, stop);
        relaxed = lp.complete;
        plan.lowerBound = std::max(plan.lowerBound, fixedCount + lp.bound);
        if (all && lp.discs.size() < left.size()) {
          left = lp.discs;
          improve();
        }
        if (static_cast<int>(best.size()) <= plan.lowerBound) break;
      }
      // The dive goes on from the pass the last turn reached, where the relaxation covers all.
      if (relaxed && large == restSizes.size()) {
        DiscList dived;
        if (diver.Dive(target(), dived, budget * kRelaxNodesPerMove) == Diver::kFound) {
          left = std::move(dived);
          improve();
          if (static_cast<int>(best.size()) <= plan.lowerBound) break;
        }
      }
      DiscList fewer = left;
      while (static_cast<int>(fewer.size()) > target() && repacker.Fewer(fewer, budget)) left = fewer;
      improve();
      if (static_cast<int>(best.size()) <= plan.lowerBound) break;
      const int tried = std::min(static_cast<int>(left.size()), static_cast<int>(best.size()) - fixedCount) - 1;
      const Packer::Result r = packer.Pack(tried, fewer, budget * kNodesPerMove);
      if (r == Packer::kFound) {
        left = std::move(fewer);
        improve();
      }
      if (r == Packer::kImpossible) plan.lowerBound = std::max(plan.lowerBound, fixedCount + tried + 1);
      if (large > 0 && large < restSizes.size() && target() > largeFits &&
          static_cast<int>(best.size()) > plan.lowerBound) {
        const Packer::Result q = largePacker.Pack(target(), fewer, budget * kNodesPerMove);
        if (q == Packer::kImpossible) ++plan.lowerBound;
        if (q == Packer::kFound) largeFits = target();
      }
    }
  }
  for (std::vector<int>& disc : best) {
    for (int& i : disc) i += static_cast<int>(first);
    std::sort(disc.begin(), disc.end());
  }
  std::sort(best.begin(), best.end());
  plan.discs = std::move(best);
  return plan;
}
