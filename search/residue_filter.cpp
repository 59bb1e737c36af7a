#include "search/residue_filter.h"

namespace {

// Each level takes about ResiduesPerSubset(r) residues a subset, so that few are set and most looks
// at a narrow window are rejected: at least 2^kBits, at most 2^kMostPairBits for pairs (hundreds of
// candidates give so many that the last positions of the search through the candidates left out
// would pass nearly every look) and 2^kMostLevelBits for three and four. A level is built only
// while at most a quarter of its residues are set and its subsets are few enough to mark in a few
// milliseconds. A larger level misses the cache more often, but the search asks it mostly where
// its answer saves a whole branch. The level of four takes four times as many: until the best
// remainder is down to a few bytes the windows it is asked about span tens of bytes, and at the
// usual density most of those would hold a residue.
constexpr double kResiduesPerSubset = 32;
double ResiduesPerSubset(int r) { return r == 4 ? 4 * kResiduesPerSubset : kResiduesPerSubset; }
constexpr int kMostPairBits = 24;
constexpr int kMostLevelBits = 25;
constexpr double kMostMarked = 2e6;
// The deepest level covers the last candidates whose subsets of kDeepest stay within this many, so
// that it takes at most 2^24 bits: one core's cache here, and the level is asked where the search
// is densest.
constexpr double kMostDeepMarked = 5e5;

double Subsets(int m, int r) {
  double c = 1;
  for (int i = 0; i < r; ++i) c = c * (m - i) / (i + 1);
  return c;
}

// Marks the totals of r candidates from `start` on, each added to `total`. The last candidate is a
// plain loop: a call per subset would cost more than its mark.
void MarkAll(Span<const std::int64_t> sizes, int r, int start, std::uint64_t total, std::vector<std::uint64_t>& bits) {
  const int m = static_cast<int>(sizes.size());
  const std::uint64_t mask = bits.size() * 64 - 1;
  if (r == 1) {
    for (int i = start; i < m; ++i) {
      const std::uint64_t residue = (total + static_cast<std::uint64_t>(sizes[i])) & mask;
      bits[residue >> 6] |= std::uint64_t{1} << (residue & 63);
    }
    return;
  }
  for (int i = start; i <= m - r; ++i) MarkAll(sizes, r - 1, i + 1, total + static_cast<std::uint64_t>(sizes[i]), bits);
}

// Bits [from, to] of one word, to < 64.
bool AnyIn(std::uint64_t word, unsigned from, unsigned to) {
  const std::uint64_t high = to == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (to + 1)) - 1;
  return (word & high & (~std::uint64_t{0} << from)) != 0;
}

bool AnyInRange(const std::vector<std::uint64_t>& bits, std::uint64_t from, std::uint64_t to) {
  const std::uint64_t firstWord = from >> 6, lastWord = to >> 6;
  if (firstWord == lastWord) return AnyIn(bits[firstWord], from & 63, to & 63);
  if (AnyIn(bits[firstWord], from & 63, 63)) return true;
  for (std::uint64_t w = firstWord + 1; w < lastWord; ++w) {
    if (bits[w]) return true;
  }
  return AnyIn(bits[lastWord], 0, to & 63);
}

}  // namespace

ResidueFilter::ResidueFilter(Span<const std::int64_t> sizes) : m_levels(kDeepest + 1) {
  const int m = static_cast<int>(sizes.size());
  for (int r = 2; r <= 4 && r <= m && Subsets(m, r) <= kMostMarked; ++r) {
    const int most = r == 2 ? kMostPairBits : kMostLevelBits;
    int bits = kBits;
    while (bits < most && Subsets(m, r) * ResiduesPerSubset(r) > static_cast<double>(std::uint64_t{1} << bits)) ++bits;
    if (Subsets(m, r) > static_cast<double>(std::uint64_t{1} << bits) / 4) break;
    m_levels[r].assign((std::uint64_t{1} << bits) / 64, 0);
    m_masks[r] = (std::uint64_t{1} << bits) - 1;
    MarkAll(sizes, r, 0, 0, m_levels[r]);
  }
  PlanDeepest(m);
}

void ResidueFilter::PlanDeepest(int m) {
  const int r = kDeepest;
  int covered = m;
  while (covered > r && Subsets(covered, r) > kMostDeepMarked) --covered;
  if (covered <= r) return;
  int bits = kBits;
  while (Subsets(covered, r) * kResiduesPerSubset > static_cast<double>(std::uint64_t{1} << bits)) ++bits;
  m_first[r] = m - covered;
  m_deepMarks = Subsets(covered, r);
  m_masks[r] = (std::uint64_t{1} << bits) - 1;
}

void ResidueFilter::Deepen(Span<const std::int64_t> sizes) {
  if (DeepFirst() >= static_cast<int>(sizes.size()) || !m_levels[kDeepest].empty()) return;
  m_levels[kDeepest].assign((m_masks[kDeepest] + 1) / 64, 0);
  MarkAll(sizes.subspan(DeepFirst()), kDeepest, 0, 0, m_levels[kDeepest]);
}

bool ResidueFilter::MayReachWide(int r, std::uint64_t from, std::uint64_t to) const {
  const std::vector<std::uint64_t>& bits = m_levels[r];
  const std::uint64_t mask = m_masks[r];
  if (to - from >= mask) return true;
  const std::uint64_t a = from & mask, b = to & mask;
  if (a <= b) return AnyInRange(bits, a, b);
  return AnyInRange(bits, a, mask) || AnyInRange(bits, 0, b);
}
