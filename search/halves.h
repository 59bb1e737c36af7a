#pragma once
// Meet in the middle for a small candidate array: the subset totals of each half are listed once
// (sorted, by subset size), which gives the best total of every combination size exactly and the
// first combination in index order that has a given total.

#include <atomic>
#include <cstdint>
#include <vector>

#include "search/span.h"

class HalvesSolver {
 public:
  static constexpr int kMaxCandidates = 44;

  /// Candidates in descending order, each at most `capacity`; at most kMaxCandidates of them.
  /// Only combination sizes up to `highest` are of interest. A set stop flag ends every
  /// operation early; Stopped() then tells that results are missing.
  HalvesSolver(Span<const std::int64_t> sizes, std::int64_t capacity, int highest,
               const std::atomic<std::uint8_t>& stop);

  bool Stopped() const { return m_stopped || m_stop.load(std::memory_order_relaxed); }

  /// The largest total not above the capacity of exactly k candidates, or -1 when none fits or
  /// when no such total exceeds `floor`.
  std::int64_t BestTotal(int k, std::int64_t floor) const;

  /// The first combination in index order of exactly k candidates whose sizes add up to total
  /// (ascending indices), or an empty vector when there is none.
  std::vector<int> FirstCombination(int k, std::int64_t total) const;

 private:
  using Lists = std::vector<std::vector<std::int64_t>>;  // sorted subset totals, by subset size
  Lists SubsetTotals(int first, int count, int most) const;
  bool FirstInLowHalf(int k, std::int64_t total, const Lists& wanted, std::vector<int>& chosen, std::int64_t sum,
                      int next) const;
  bool CheckStop() const;
  bool FirstInHighHalf(int k, std::int64_t total, std::vector<int>& chosen, std::int64_t sum, int next) const;

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  const std::atomic<std::uint8_t>& m_stop;
  mutable bool m_stopped = false;
  mutable unsigned m_visits = 0;
  int m_split;  // first index of the high half
  Lists m_low, m_high;
};
