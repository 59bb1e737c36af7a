#pragma once
// The subset totals of the smallest candidates, listed once so that a branch of the search that
// leaves its last positions to them is settled by one question instead of by going through their
// combinations: the last candidates form the table, the ones before them the block, and a total
// of both is a pair from the two lists.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "search/span.h"

class TailTotals {
 public:
  static constexpr int kMostCandidates = 32767;

  /// Sizes descending, each at most `limit`; totals above `limit` are left out. The table takes
  /// the last candidates, the block the ones before them: each takes candidates backwards while
  /// its distinct totals stay within `mostTotals` (the block, where the table's totals do not
  /// repeat, while an estimate of its subsets does), at most `mostCandidates` (and
  /// kMostCandidates) of them. Building stops early when the stop flag is set.
  TailTotals(Span<const std::int64_t> sizes, std::int64_t limit, int mostCandidates, std::size_t mostTotals,
             const std::atomic<std::uint8_t>& stop);

  /// Whether lists built with these arguments would take every candidate, by an estimate that
  /// never says so wrongly: subsets counted by their totals rounded down to 1/4096 of the limit,
  /// which are at least as many as the distinct totals.
  static bool HoldEveryCandidate(Span<const std::int64_t> sizes, std::int64_t limit, int mostCandidates,
                                 std::size_t mostTotals);

  /// The first candidate of the block: the questions are about candidates from here on.
  int First() const { return m_first; }

  bool Stopped() const { return m_stopped; }

  /// The largest total of r candidates from First() on in (low, high], or -1 when there is none.
  /// Adds the number of steps taken to `work`.
  std::int64_t BestTotal(int r, std::int64_t low, std::int64_t high, std::uint64_t& work) const;

  /// Appends the first combination in index order of r candidates from First() on whose sizes add
  /// up to `total` (at most the limit). False when there is none, or when the stop flag is set.
  bool FirstCombination(int r, std::int64_t total, std::vector<int>& chosen) const;

 private:
  using Wide = __int128;
  // The distinct totals of one number of candidates, ascending, each with the latest index at
  // which a combination with that total can start, counted back from the end of the array: a
  // total is reachable from candidate j on exactly when that count is at most m - j.
  using Start = std::uint16_t;  // counts back from the end: two lists of kMostCandidates at most
  struct Level {
    std::vector<std::int64_t> totals;
    std::vector<Start> starts;
    bool repeats = false;  // whether the last candidate added repeated totals listed here
  };
  using Levels = std::vector<Level>;  // by number of candidates

  int Build(Levels& levels, int to, int mostCandidates, std::size_t mostTotals);
  void BuildForward(Levels& levels, int from, int to);
  std::ptrdiff_t Merge(Level& level, const Level& shorter, std::ptrdiff_t added, std::int64_t x, int start,
                       bool laterStarts);
  static int EstimatedFirst(Span<const std::int64_t> sizes, std::int64_t limit, int to, int mostCandidates,
                            std::size_t mostTotals);
  bool Reaches(int start, int r, std::int64_t total) const;
  int NextSize(int i) const;
  // The largest and the smallest total of r candidates from `start` on.
  Wide Most(int start, int r) const { return m_prefix[start + r - m_first] - m_prefix[start - m_first]; }
  Wide Least(int r) const { return m_prefix.back() - m_prefix[m_prefix.size() - 1 - r]; }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_limit;
  const std::atomic<std::uint8_t>& m_stop;
  bool m_stopped = false;
  int m_m;
  int m_tableFirst;
  int m_first;
  std::vector<Wide> m_prefix;  // sums of the sizes from First() on
  Levels m_block;              // totals of the block's candidates
  Levels m_table;              // totals of the table's candidates
};
