#pragma once
// The subset totals of the smallest candidates, listed once so that a branch of the search that
// leaves its last positions to them is settled by one question instead of by going through their
// combinations: the last candidates form the table, the ones before them the block, and a total
// of both is a pair from the two lists.

#include <atomic>
#include <cstdint>
#include <vector>

#include "search/span.h"

class TailTotals {
 public:
  /// Sizes descending, each at most `limit`; totals above `limit` are left out. The last
  /// `tableSize` candidates form the table and the `blockSize` before them the block (fewer when
  /// there are fewer candidates). Building stops early when the stop flag is set.
  TailTotals(Span<const std::int64_t> sizes, std::int64_t limit, int tableSize, int blockSize,
             const std::atomic<std::uint8_t>& stop);

  /// The first candidate of the block: the questions are about candidates from here on.
  int First() const { return m_first; }

  bool Stopped() const { return m_stopped; }

  /// The largest total of r candidates from First() on in (low, high], or -1 when there is none.
  /// Adds the number of steps taken to `work`.
  std::int64_t BestTotal(int r, std::int64_t low, std::int64_t high, std::uint64_t& work) const;

  /// Appends the first combination in index order of r candidates from First() on whose sizes add
  /// up to `total`. False when there is none, or when the stop flag ended the walk.
  bool FirstCombination(int r, std::int64_t total, std::vector<int>& chosen) const;

 private:
  using Wide = __int128;
  using Lists = std::vector<std::vector<std::int64_t>>;  // distinct totals, ascending, by number of candidates

  bool Walk(int start, int r, std::int64_t total, std::vector<int>& chosen) const;
  bool InTable(int start, int r, std::int64_t total) const;
  int NextSize(int i) const;
  // The largest and the smallest total of r candidates from `start` on.
  Wide Most(int start, int r) const { return m_prefix[start + r - m_first] - m_prefix[start - m_first]; }
  Wide Least(int r) const { return m_prefix.back() - m_prefix[m_prefix.size() - 1 - r]; }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_limit;
  const std::atomic<std::uint8_t>& m_stop;
  mutable bool m_stopped = false;
  mutable unsigned m_visits = 0;
  int m_m;
  int m_tableFirst;
  int m_first;
  std::vector<Wide> m_prefix;  // sums of the sizes from First() on
  Lists m_block;               // totals of block candidates
  std::vector<Lists> m_tables;  // m_tables[j - m_tableFirst]: totals of the candidates from j on
};
