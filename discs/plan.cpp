#include "discs/plan.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>
#include <set>
#include <utility>

#include "discs/bin_completion.h"
#include "discs/branching.h"
#include "discs/diving.h"
#include "discs/relaxation.h"
#include "discs/repacking.h"
#include "discs/rounded_bound.h"
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
// Past that many items, groups of about this many are planned apart first, and the relaxation
// of the sizes rounded down to this many units of a disc gives a bound.
constexpr std::size_t kDealtItems = 200;
constexpr int kBoundGrid = 1000;
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
    // Each group its share of the time left, ended early by the plan's own stop flag.
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::atomic<std::uint8_t> groupStop{0};
    DiscPlan plan;
    {
      StopAfter limit(groupStop, std::max(1e-3, (seconds - spent) / static_cast<double>(groups - g)), &stop);
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

namespace {

// The search for a plan at the bound, over the items the reduction leaves: the discs the
// reduction fixed belong to a plan of the fewest discs. The linear relaxation may raise the bound,
// and its rounded solution is a start; the dive over it and repacking into one disc fewer find
// most plans at the bound; the exact search finds the rest or proves the bound one higher. All
// run in turns with budgets that double until one of them settles the question or the stop flag
// is set.
class FewerDiscsSearch {
 public:
  FewerDiscsSearch(Span<const std::int64_t> items, std::int64_t capacity, int maxPerDisc,
                   const std::atomic<std::uint8_t>& stop, DiscPlan& plan)
      : m_items(items), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_stop(stop), m_plan(plan),
        m_reduced(ReduceAndBound(items, capacity, maxPerDisc)), m_rest(m_reduced.restSizes),
        m_large(static_cast<std::size_t>(
            std::find_if(m_rest.begin(), m_rest.end(), [&](std::int64_t v) { return v < capacity / 10; }) -
            m_rest.begin())),
        m_repacker(m_rest, capacity, maxPerDisc, stop), m_packer(m_rest, capacity, maxPerDisc, stop),
        m_diver(m_rest, capacity, maxPerDisc, stop), m_brancher(m_rest, capacity, maxPerDisc, stop),
        m_largePacker(Span<const std::int64_t>(m_rest.data(), m_large), capacity, maxPerDisc, stop) {
    m_plan.lowerBound = m_reduced.bound;
  }

  // Best fit, the disc-by-disc plan where it costs no more than a moment (with `seconds`, at most
  // a quarter of them), for many items the groups dealt out by size, with half of them, and the
  // bound of their sizes rounded down, with a fifth.
  void Start(double seconds) {
    m_best = BestFitDiscs(m_items, m_capacity, m_maxPerDisc);
    m_left = m_reduced.fixed.empty() ? m_best : BestFitDiscs(m_rest, m_capacity, m_maxPerDisc);
    // More items than the relaxation takes: each group of them dealt out by size is planned
    // closely, and the groups' discs are a start that repacking then joins.
    if (seconds > 0 && m_rest.size() > kRelaxedItems && static_cast<int>(m_left.size()) > Target()) {
      DiscList dealt = Dealt(m_rest, m_capacity, m_maxPerDisc, seconds / 2, m_stop);
      if (!dealt.empty() && dealt.size() < m_left.size()) m_left = std::move(dealt);
    }
    if (!Settled() && m_maxPerDisc == kNoFileLimit &&
        static_cast<long long>(m_items.size()) * m_plan.lowerBound <= kDiscByDiscLimit) {
      // With a time limit, a quarter of it: for thousands of items of a few a disc, each disc's
      // exact search may take long.
      std::atomic<std::uint8_t> byDiscStop{0};
      DiscList byDisc;
      {
        StopAfter limit(byDiscStop, seconds / 4, &m_stop);
        byDisc = DiscByDisc(m_items, m_capacity, byDiscStop);
      }
      if (byDisc.size() < m_best.size()) m_best = std::move(byDisc);
    }
    // The bounds from sizes alone may be several discs short at thousands of items: a fifth of
    // the time for the relaxation of the sizes rounded down.
    if (!Settled() && seconds > 0 && m_rest.size() > kRelaxedItems && m_maxPerDisc == kNoFileLimit) {
      std::atomic<std::uint8_t> boundStop{0};
      StopAfter limit(boundStop, seconds / 5, &m_stop);
      const int rounded = RoundedDownBound(m_rest, m_capacity, kBoundGrid, LLONG_MAX, boundStop);
      m_plan.lowerBound = std::max(m_plan.lowerBound, Fixed() + rounded);
    }
    Improved();
  }

  void Run() {
    if (static_cast<long long>(m_rest.size()) * static_cast<long long>(m_left.size()) > kSearchLimit) return;
    for (long long budget = kFirstBudget; !Settled(); budget *= 2) {
      if (m_stop.load(std::memory_order_relaxed)) {
        m_plan.complete = false;
        return;
      }
      if (!Relaxed(budget) || !Dived(budget) || !Branched(budget)) return;
      DiscList fewer = m_left;
      if (!Repacked(budget, fewer)) return;
      Searched(budget, fewer);
    }
  }

  DiscList& Best() { return m_best; }

 private:
  bool Settled() const { return static_cast<int>(m_best.size()) <= m_plan.lowerBound; }
  int Fixed() const { return static_cast<int>(m_reduced.fixed.size()); }
  int Target() const { return m_plan.lowerBound - Fixed(); }

  // The plan of the items left, with the fixed discs, when it needs fewer discs than the best.
  void Improved() {
    if (Fixed() + m_left.size() >= m_best.size()) return;
    m_best = m_reduced.fixed;
    for (const std::vector<int>& disc : m_left) {
      m_best.emplace_back();
      for (int i : disc) m_best.back().push_back(m_reduced.rest[i]);
    }
  }

  // The relaxation of the items over a tenth of a disc, whose knapsacks stay small: of all items
  // where no others are left, with a plan to start from. False once the best is settled.
  bool Relaxed(long long budget) {
    if (m_relaxed || m_large == 0 || m_large > kRelaxedItems) return true;
    const Span<const std::int64_t> largeSizes(m_rest.data(), m_large);
    const bool all = m_large == m_rest.size();
    long long nodes = budget * kRelaxNodesPerMove;
    const Relaxation lp =
        Relax(largeSizes, m_capacity, m_maxPerDisc, all ? m_left : BestFitDiscs(largeSizes, m_capacity, m_maxPerDisc),
              Target(), nodes, m_stop);
    m_relaxed = lp.complete;
    m_plan.lowerBound = std::max(m_plan.lowerBound, Fixed() + lp.bound);
    if (all && lp.discs.size() < m_left.size()) {
      m_left = lp.discs;
      Improved();
    }
    return !Settled();
  }

  // The dive goes on from the pass the last turn reached, where the relaxation covers all.
  bool Dived(long long budget) {
    if (!m_relaxed || m_large != m_rest.size()) return true;
    DiscList dived;
    if (m_diver.Dive(Target(), dived, budget * kRelaxNodesPerMove) == Diver::kFound) {
      m_left = std::move(dived);
      Improved();
    }
    return !Settled();
  }

  // Branch and price where the relaxation covers all, from scratch with each turn's budget: the
  // dive misses a plan at the bound now and then, and where there is none this proves it.
  bool Branched(long long budget) {
    if (!m_relaxed || m_large != m_rest.size()) return true;
    DiscList found;
    const Brancher::Result r = m_brancher.Search(Target(), found, budget * kRelaxNodesPerMove);
    if (r == Brancher::kFound) {
      m_left = std::move(found);
      Improved();
    }
    if (r == Brancher::kImpossible) m_plan.lowerBound = std::max(m_plan.lowerBound, Fixed() + Target() + 1);
    return !Settled();
  }

  bool Repacked(long long budget, DiscList& fewer) {
    while (static_cast<int>(fewer.size()) > Target() && m_repacker.Fewer(fewer, budget)) m_left = fewer;
    Improved();
    return !Settled();
  }

  // The exact search for one disc fewer than the best, and for the large items alone at the bound.
  void Searched(long long budget, DiscList& fewer) {
    const int tried = std::min(static_cast<int>(m_left.size()), static_cast<int>(m_best.size()) - Fixed()) - 1;
    const Packer::Result r = m_packer.Pack(tried, fewer, budget * kNodesPerMove);
    if (r == Packer::kFound) {
      m_left = std::move(fewer);
      Improved();
    }
    if (r == Packer::kImpossible) m_plan.lowerBound = std::max(m_plan.lowerBound, Fixed() + tried + 1);
    // Whatever the largest items alone need, all need: where many small items make the exact
    // search too wide to prove anything, it may still prove the bound too low for the items over
    // a tenth of a disc.
    if (m_large > 0 && m_large < m_rest.size() && Target() > m_largeFits && !Settled()) {
      const Packer::Result q = m_largePacker.Pack(Target(), fewer, budget * kNodesPerMove);
      if (q == Packer::kImpossible) ++m_plan.lowerBound;
      if (q == Packer::kFound) m_largeFits = Target();
    }
  }

  Span<const std::int64_t> m_items;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  const std::atomic<std::uint8_t>& m_stop;
  DiscPlan& m_plan;
  const Reduced m_reduced;
  const std::vector<std::int64_t>& m_rest;  // the sizes of the items the reduction leaves
  const std::size_t m_large;                // of them, those over a tenth of a disc
  Repacker m_repacker;
  Packer m_packer;
  Diver m_diver;
  Brancher m_brancher;
  Packer m_largePacker;
  int m_largeFits = 0;  // a number of discs the large items are known to fit
  bool m_relaxed = false;
  DiscList m_best, m_left;  // the best plan, and the best of the items left
};

}  // namespace

DiscPlan PlanDiscs(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc,
                   const std::atomic<std::uint8_t>& stop, double seconds) {
  DiscPlan plan;
  std::size_t first = 0;
  while (first < sizes.size() && sizes[first] > capacity) plan.oversized.push_back(static_cast<int>(first++));
  FewerDiscsSearch search(sizes.subspan(first), capacity, maxPerDisc, stop, plan);
  search.Start(seconds);
  search.Run();
  DiscList& best = search.Best();
  for (std::vector<int>& disc : best) {
    for (int& i : disc) i += static_cast<int>(first);
    std::sort(disc.begin(), disc.end());
  }
  std::sort(best.begin(), best.end());
  plan.discs = std::move(best);
  return plan;
}
