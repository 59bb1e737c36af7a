#pragma once
// The fewest discs for real files, each disc held against what it really holds: its files' data
// and records and the records of its own folders.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "discs/disc_tally.h"

struct FewestDiscs {
  std::vector<Disc> discs;  ///< each fits, in the order the stages left them
  int lowerBound = 0;       ///< proven: no plan takes fewer discs
  bool complete = true;     ///< false when time or the stop flag ended the search for fewer
};

/// Plans `items` (each fitting an empty disc) in stages, each plan held against every disc's own
/// records and the best kept: first fit decreasing and the plan in path order (`paths`: each
/// item's path on the disc) at once; then the exact search over the items' weights
/// (discs/plan.h), with no room set aside for folders (its bound holds for the discs as they are)
/// and then with an average disc's, each plan mended disc by disc; then emptying discs into the
/// others. The stages share `seconds`, and end early once a plan reaches the bound. `stop` ends
/// them all once `interrupted` says so; otherwise the planner sets and clears it for each stage's
/// time. `progress` hears the bound and the best count as they change. With `firstFitOnly`, the
/// plan is first fit decreasing alone: what every plan is held to.
FewestDiscs PlanFewestDiscs(const Items& items, const PlanFiles& files, const DiscRules& rules,
                            const std::vector<std::string_view>& paths, double seconds,
                            std::atomic<std::uint8_t>& stop, const std::function<bool()>& interrupted,
                            const std::function<void(int lower, std::size_t discs)>& progress,
                            bool firstFitOnly = false);
