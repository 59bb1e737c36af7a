#pragma once
// Every total of every count of candidates, when the sizes share a common divisor that leaves few
// possible totals up to the capacity: sizes and totals are counted in that divisor. For each count
// and total the table keeps the latest candidate from which that many candidates reach the total,
// which gives the best total of each count at once and the first combination in index order with
// a total by one walk through the candidates.

#include <atomic>
#include <cstdint>
#include <vector>

#include "search/span.h"

class ReachableTotals {
 public:
  /// Whether the table for `candidates` sizes, counts up to `most` and totals up to `units` stays
  /// within the memory and the time a search may spend on it.
  static bool Fits(int candidates, int most, std::int64_t units);

  /// Sizes descending, each a multiple of `unit` (> 0) and at most `capacity`; counts up to `most`.
  /// Needs Fits(sizes.size(), most, capacity / unit). A set stop flag ends the building early;
  /// Stopped() then tells that results are missing.
  ReachableTotals(Span<const std::int64_t> sizes, std::int64_t unit, std::int64_t capacity, int most,
                  const std::atomic<std::uint8_t>& stop);

  bool Stopped() const { return m_stopped; }

  /// The largest total of exactly k candidates not above the capacity, or -1 when none fits or
  /// when no such total exceeds `floor`.
  std::int64_t BestTotal(int k, std::int64_t floor) const;

  /// The first combination in index order of exactly k candidates whose sizes add up to total
  /// (ascending indices), or an empty vector when there is none.
  std::vector<int> FirstCombination(int k, std::int64_t total) const;

 private:
  // Whether `count` candidates from index `from` on add up to `units`.
  bool Reaches(int count, std::int64_t units, int from) const;

  Span<const std::int64_t> m_sizes;
  std::int64_t m_unit;
  std::int64_t m_units;  // the capacity in units
  int m_most;
  bool m_stopped = false;
  // By count, then total in units: 1 + the latest index from which that many candidates reach the
  // total, 0 when none does.
  std::vector<std::uint16_t> m_latest;
};
