#pragma once
// Spreading files over as few discs as possible (bin packing): quick plans, and an exact search
// for a plan that reaches the lower bound (discs/bounds.h, included here for the callers).

#include <atomic>
#include <cstdint>
#include <vector>

#include "discs/bounds.h"
#include "discs/disc_list.h"
#include "search/span.h"

struct DiscPlan {
  DiscList discs;
  std::vector<int> oversized;  ///< items larger than a disc, ascending
  int lowerBound = 0;          ///< proven: no plan of the other items takes fewer discs
  bool complete = true;        ///< false when the stop flag cut the search for fewer discs short
  bool Minimum() const { return static_cast<int>(discs.size()) <= lowerBound; }
};

/// Best fit decreasing over sizes in descending order, each at most the capacity.
DiscList BestFitDiscs(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc);

/// The items (sizes in descending order) dealt out in size order to groups of a couple of hundred,
/// each planned by PlanDiscs with its share of `seconds`, their discs put together: for thousands
/// of items, where the relaxation and the exact search do not reach, a start within a disc or so
/// a group of the fewest. Empty when the stop flag was set.
DiscList Dealt(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, double seconds,
               const std::atomic<std::uint8_t>& stop);

/// Fills one disc after another with the exact search, each from the items left, as the window
/// does disc by disc. Once the stop flag is set the items left are packed best fit.
DiscList DiscByDisc(Span<const std::int64_t> sizes, std::int64_t capacity, const std::atomic<std::uint8_t>& stop);

/// Fewest discs for sizes in descending order: best fit, or where that is above the lower bound
/// (and without a file limit, where it takes no more than a moment) the disc-by-disc plan if
/// better; then, on the items the reduction leaves, the linear relaxation (whose bound may be
/// higher and whose rounded solution is a start), a dive over it, repacking into one disc fewer
/// and bin completion by turns, until a plan reaches the bound, bin completion proves fewer discs
/// impossible (which raises the bound), or the stop flag is set. Given the `seconds` it may take,
/// a plan of more items than the relaxation takes starts from the groups dealt out (Dealt), with
/// half of them.
DiscPlan PlanDiscs(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc,
                   const std::atomic<std::uint8_t>& stop, double seconds = 0);
