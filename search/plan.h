#pragma once
// What happens between pressing GO and starting the search: the checks that refuse a
// computation, the initial solution, and the range of combination sizes to search.

#include <cstdint>
#include <vector>
#include "search/span.h"

enum class PlanRefusal {
  kNone,
  kPinnedOverCapacity,  ///< the entries already chosen exceed the capacity
  kNoFiles,             ///< the file list is empty
  kNothingFits,         ///< every file is larger than the capacity left
};

struct SearchPlan {
  PlanRefusal refusal = PlanRefusal::kNone;
  std::int64_t capacity = 0;     ///< as the user gave it
  std::int64_t pinnedTotal = 0;  ///< total of the entries already chosen
  std::int64_t remaining = 0;    ///< capacity - pinnedTotal: what the search may fill
  /// Candidate indices of the initial solution, ascending: the greedy fill from the largest
  /// files, or the single-file fallback when even the largest file does not fit.
  std::vector<int> initial;
  std::int64_t greedyTotal = 0;    ///< total of the greedy fill alone (0 when the fallback was used)
  std::int64_t bestRemainder = 0;  ///< remaining - total of the initial solution
  int lower = 0;                   ///< smallest combination size to search
  int upper = 0;                   ///< largest combination size to search
};

/// Plans a computation over candidate sizes in descending order (the file list from its head).
/// maxFiles is the parsed maximum file count (kNoFileLimit for none).
SearchPlan PlanSearch(Span<const std::int64_t> sizes, std::int64_t capacity, std::int64_t pinnedTotal, int maxFiles);
