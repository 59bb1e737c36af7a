#pragma once

#include <cstdint>
#include <vector>

#include "search/span.h"

/// The totals of r candidates for small r, kept modulo a power of two of at least 2^kBits, larger
/// where a level has many subsets: a total whose residue is not there cannot be the total of any r
/// candidates, which lets the search leave out branches whose remaining room no completion can
/// fill exactly. Only levels that stay sparse are kept.
class ResidueFilter {
 public:
  static constexpr int kBits = 22;

  explicit ResidueFilter(Span<const std::int64_t> sizes);

  /// Whether level r was built (r from 2 to 4).
  bool Has(int r) const { return r >= 2 && r < static_cast<int>(m_levels.size()) && !m_levels[r].empty(); }

  /// False when no total of r candidates lies in [from, to] (0 <= from <= to). Needs Has(r).
  /// Inline, with the window of one word first: the search asks at nearly every step, mostly about
  /// narrow windows, and a tight loop of such looks lets their cache misses overlap.
  bool MayReach(int r, std::uint64_t from, std::uint64_t to) const {
    const std::uint64_t mask = m_masks[r];
    const std::uint64_t a = from & mask;
    if (to - from < 64 && (a & 63) + (to - from) < 64) {
      const std::uint64_t width = to - from + 1;
      const std::uint64_t bits = width == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
      return (m_levels[r][a >> 6] >> (a & 63) & bits) != 0;
    }
    return MayReachWide(r, from, to);
  }

 private:
  bool MayReachWide(int r, std::uint64_t from, std::uint64_t to) const;

  std::vector<std::vector<std::uint64_t>> m_levels;  // bit sets of a power of two bits, by r
  std::uint64_t m_masks[5] = {};                     // each level's number of bits less one
};
