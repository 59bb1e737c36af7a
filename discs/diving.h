#pragma once
// Diving: plans read off the linear relaxation, one disc after another.

#include <atomic>
#include <cstdint>
#include <vector>

#include "discs/disc_list.h"
#include "search/span.h"

/// Price and dive (after Sadykov, Vanderbeck, Pessoa, Tahiri and Uchoa's diving heuristics for
/// branch and price): the relaxation is solved, the set its solution takes most becomes a disc
/// (with every other set it takes whole), and the relaxation of the items left is solved again
/// from what is left of the last solution's rounded plan, until that rounded plan fits the discs
/// left or the bound passes them, which sends the search back. Where the relaxation's bound rounds to the
/// fewest discs, as it does for nearly every collection, the dive mostly reaches a plan of that
/// many. Passes of limited discrepancy: pass k may take, k times in all, another of a solution's
/// sets than the first; each call goes on from the pass the last one reached.
class Diver {
 public:
  enum Result { kFound, kNotFound, kStopped };

  Diver(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_stop(stop) {}

  /// kFound with `plan` of at most `discs` discs; kNotFound when every pass ended without one;
  /// kStopped when `nodes` knapsack nodes or the stop flag ran out first.
  Result Dive(int discs, DiscList& plan, long long nodes);

 private:
  bool Step(const std::vector<int>& items, const DiscList& start, int discs, int swerves);

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  const std::atomic<std::uint8_t>& m_stop;
  DiscList m_plan;
  int m_pass = 0;
  int m_discs = -1;          // the disc count of the passes so far
  bool m_exhausted = false;  // a pass ended without the discrepancy limit leaving a branch out
  bool m_cut = false;        // the discrepancy limit left a branch out of this pass
  bool m_stopped = false;
  long long m_nodes = 0;
};
