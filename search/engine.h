#pragma once
// The exact-fit search: for every combination size of the count schedule, the combinations of
// candidates in index order, keeping the first one with the strictly smallest remainder.
//
// The engine gives exactly the result of visiting every combination in that order, but skips
// whatever cannot hold a strictly better combination and ends once the best is proven optimal.

#include <atomic>
#include <cstdint>
#include "search/span.h"

/// Receives each improvement as it is found: the new total and the candidate indices, ascending.
/// Each total is larger than the one before, or equal once after a quick look at one count found
/// it out of order: then the combination that comes first in the search's order replaces it.
class SearchListener {
 public:
  virtual void OnImprovement(std::int64_t total, Span<const int> indices) = 0;

 protected:
  ~SearchListener() = default;
};

struct SearchOutcome {
  std::int64_t bestRemainder = 0;  ///< after the search (the initial value when nothing improved)
  bool complete = false;           ///< false only when the stop flag ended the search
};

/// How the combinations are gone through. All give the same result. Automatic runs branch and
/// bound, handing over to a table of every total when the sizes' common divisor leaves few, to meet
/// in the middle for small candidate arrays when that is quicker, and for larger arrays listing the
/// smallest candidates' totals once its budget runs out; the others force one way for tests and
/// benchmarks (kBranchThenMeet and kBranchThenDecide hand over after a token budget,
/// kBranchThenDecide with small lists so that every array uses them, kLeftOutThenDecide as well
/// with every count searched through the candidates left out; kReachableTotals builds the table at
/// once wherever it fits, kUnitTotals the table by multiples of a unit plus noise).
enum class SearchStrategy {
  kAutomatic,
  kBranchAndBound,
  kMeetInTheMiddle,
  kBranchThenMeet,
  kBranchThenDecide,
  kLeftOutThenDecide,
  kReachableTotals,
  kUnitTotals
};

/// Runs the count schedule from `lower` to `upper` over `sizes` (descending, never negative)
/// for `capacity`, starting from the initial best remainder. Only a strictly smaller remainder
/// counts as an improvement. A set stop flag (read with relaxed order, checked after a bounded
/// amount of work) makes it return promptly with the best found so far.
SearchOutcome RunSearch(Span<const std::int64_t> sizes, std::int64_t capacity, std::int64_t bestRemainder, int lower,
                        int upper, const std::atomic<std::uint8_t>& stop, SearchListener& listener,
                        SearchStrategy strategy = SearchStrategy::kAutomatic);
