#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "search/span.h"

/// The totals of r candidates for small r, kept modulo a power of two of at least 2^kBits, larger
/// where a level has many subsets: a total whose residue is not there cannot be the total of any r
/// candidates, which lets the search leave out branches whose remaining room no completion can
/// fill exactly. Only levels that stay sparse are kept. Levels 2 to 4 cover every candidate; the
/// deepest, built only on demand, the last candidates, as many as it can mark cheaply.
class ResidueFilter {
 public:
  static constexpr int kBits = 22;
  static constexpr int kDeepest = 5;

  explicit ResidueFilter(Span<const std::int64_t> sizes);

  /// Builds the level of kDeepest candidates (the same sizes as the constructor's). It costs more
  /// than the others together and pays only where the search asks it often.
  void Deepen(Span<const std::int64_t> sizes);

  /// The first candidate the deepest level covers (INT_MAX when there is none), and how many
  /// subsets building it marks.
  int DeepFirst() const { return m_first[kDeepest]; }
  double DeepMarks() const { return m_deepMarks; }

  /// Whether level r was built for totals of candidates from `start` on.
  bool Has(int r, int start) const { return r >= 2 && r <= kDeepest && !m_levels[r].empty() && start >= m_first[r]; }

  /// False when no total of r candidates that level r covers lies in [from, to] (0 <= from <= to).
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
  void PlanDeepest(int m);
  bool MayReachWide(int r, std::uint64_t from, std::uint64_t to) const;

  std::vector<std::vector<std::uint64_t>> m_levels;      // bit sets of a power of two bits, by r
  std::uint64_t m_masks[kDeepest + 1] = {};              // each level's number of bits less one
  int m_first[kDeepest + 1] = {0, 0, 0, 0, 0, INT_MAX};  // the first candidate each level covers
  double m_deepMarks = 0;
};
