#pragma once
// Sizes that are multiples of one unit plus a little noise each (fixed-size chunks with headers,
// split archives, camera files of a few sizes): q x unit + e with every sum of noise below the
// unit, so that a total's multiplier sum and noise sum are its quotient and remainder by the unit.
// A table by count and multiplier sum of the largest noise sum reachable settles every count's
// best total at once, when the capacity leaves room for any noise above its own multiple of the
// unit; the first combination in index order with a total is walked with the same table of the
// candidates after each one, rebuilt a block of candidates at a time from kept copies.

#include <atomic>
#include <cstdint>
#include <vector>

#include "search/span.h"

class UnitTotals {
 public:
  struct Unit {
    std::int64_t size = 0;   ///< the unit
    std::int64_t noise = 0;  ///< the largest size modulo the unit
  };

  /// A unit for `sizes` (descending, each at most `capacity`) and counts up to `most`: the common
  /// divisor of the sizes with their last binary or decimal digits cleared, whose table stays
  /// within the memory and the time a search may spend on it, where `most` sizes' noise stays below
  /// the unit and below the capacity's own remainder by it. False when there is none.
  static bool Find(Span<const std::int64_t> sizes, std::int64_t capacity, int most, Unit& unit);

  /// Needs a unit Find gave for the same arguments. A set stop flag ends the building early;
  /// Stopped() then tells that results are missing.
  UnitTotals(Span<const std::int64_t> sizes, Unit unit, std::int64_t capacity, int most,
             const std::atomic<std::uint8_t>& stop);

  bool Stopped() const { return m_stopped; }

  /// The largest total of exactly k candidates not above the capacity, or -1 when none fits or
  /// when no such total exceeds `floor`.
  std::int64_t BestTotal(int k, std::int64_t floor) const;

  /// The first combination in index order of exactly k candidates whose sizes add up to total, a
  /// total BestTotal gave for k (ascending indices), or an empty vector when there is none.
  std::vector<int> FirstCombination(int k, std::int64_t total) const;

 private:
  // By count, then multiplier sum: the largest noise sum, negative when unreachable.
  using Table = std::vector<std::int32_t>;

  void Add(Table& table, int i) const;
  // The table of the candidates from j on, from the kept copies.
  const Table& From(int j) const;
  std::int32_t At(const Table& table, int count, std::int64_t multiples) const {
    return table[static_cast<std::size_t>(count) * m_width + static_cast<std::size_t>(multiples)];
  }

  Span<const std::int64_t> m_sizes;
  Unit m_unit;
  std::int64_t m_multiples;  // the capacity's quotient by the unit
  int m_most;
  std::size_t m_width;
  int m_block;
  const std::atomic<std::uint8_t>& m_stop;
  bool m_stopped = false;
  std::vector<Table> m_kept;  // the table from every m_block-th candidate on, and from the end
  mutable int m_cachedBlock = -1;
  mutable std::vector<Table> m_cache;  // the tables from each candidate of one block on
};
