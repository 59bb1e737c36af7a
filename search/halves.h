#pragma once
// Meet in the middle for a small candidate array: every subset of each half is listed once,
// which gives the best total for every combination size exactly, and the first combination in
// index order with a given total.

#include <cstdint>
#include "search/span.h"
#include <vector>

class HalvesSolver {
 public:
  /// Candidates in descending order, each at most `capacity`; at most kMaxCandidates of them.
  HalvesSolver(Span<const std::int64_t> sizes, std::int64_t capacity);

  static constexpr int kMaxCandidates = 40;

  /// The largest total not above the capacity of exactly k candidates, or -1 when none fits.
  std::int64_t BestTotal(int k) const { return k >= 0 && k < static_cast<int>(m_best.size()) ? m_best[k] : -1; }

  /// The first combination in index order of exactly k candidates whose sizes add up to total
  /// (ascending indices), or an empty vector when there is none.
  std::vector<int> FirstCombination(int k, std::int64_t total) const;

 private:
  struct Half {
    int first = 0;  ///< index of the half's first candidate
    int count = 0;
    std::vector<std::vector<std::int64_t>> sumsByCount;  ///< sorted subset totals, per subset size
  };
  Half MakeHalf(int first, int count) const;
  bool SecondHalfHas(int count, std::int64_t total) const;
  bool FirstInFirstHalf(int k, std::int64_t total, std::vector<int>& chosen, std::int64_t sum, int next) const;
  bool FirstInSecondHalf(int k, std::int64_t total, std::vector<int>& chosen, std::int64_t sum, int next) const;

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  Half m_low, m_high;
  std::vector<std::int64_t> m_best;
};
