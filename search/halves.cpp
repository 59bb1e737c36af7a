#include "search/halves.h"

#include <algorithm>

#include "search/saturating.h"

HalvesSolver::HalvesSolver(Span<const std::int64_t> sizes, std::int64_t capacity)
    : m_sizes(sizes), m_capacity(capacity) {
  const int m = static_cast<int>(sizes.size());
  m_low = MakeHalf(0, m / 2);
  m_high = MakeHalf(m / 2, m - m / 2);

  // Best total for every size: for each split of the size between the halves, walk the low
  // half's totals upward and the high half's downward.
  m_best.assign(m + 1, -1);
  for (int a = 0; a <= m_low.count; ++a) {
    const auto& low = m_low.sumsByCount[a];
    for (int b = 0; b <= m_high.count; ++b) {
      const auto& high = m_high.sumsByCount[b];
      std::int64_t best = -1;
      auto h = high.end();
      for (std::int64_t l : low) {
        if (l > capacity) break;
        while (h != high.begin() && *(h - 1) > capacity - l) --h;
        if (h == high.begin()) break;
        best = std::max(best, l + *(h - 1));
      }
      m_best[a + b] = std::max(m_best[a + b], best);
    }
  }
}

HalvesSolver::Half HalvesSolver::MakeHalf(int first, int count) const {
  Half half;
  half.first = first;
  half.count = count;
  half.sumsByCount.resize(count + 1);
  const std::size_t subsets = std::size_t{1} << count;
  // Totals above the capacity never fit and are marked instead of kept, which also keeps them
  // from overflowing: every size is at most the capacity, so two of them fit in 64 unsigned bits.
  constexpr std::uint64_t kTooLarge = UINT64_MAX;
  const auto capacity = static_cast<std::uint64_t>(m_capacity);
  std::vector<std::uint64_t> sums(subsets, 0);
  std::vector<unsigned char> sizes(subsets, 0);
  for (std::size_t mask = 1; mask < subsets; ++mask) {
    const std::size_t rest = mask & (mask - 1);
    const std::uint64_t s = sums[rest] == kTooLarge ? kTooLarge : sums[rest] + static_cast<std::uint64_t>(m_sizes[first + __builtin_ctzll(mask)]);
    sums[mask] = s > capacity ? kTooLarge : s;
    sizes[mask] = static_cast<unsigned char>(sizes[rest] + 1);
  }
  for (std::size_t mask = 0; mask < subsets; ++mask) {
    if (sums[mask] != kTooLarge) half.sumsByCount[sizes[mask]].push_back(static_cast<std::int64_t>(sums[mask]));
  }
  for (auto& v : half.sumsByCount) std::sort(v.begin(), v.end());
  return half;
}

bool HalvesSolver::SecondHalfHas(int count, std::int64_t total) const {
  if (count < 0 || count > m_high.count) return false;
  const auto& v = m_high.sumsByCount[count];
  return std::binary_search(v.begin(), v.end(), total);
}

// Index order of whole combinations, seen from the low half: a combination whose low part
// extends another's low part comes first (its next index is below every high-half index), so
// the low parts are visited children first, then the part itself.
bool HalvesSolver::FirstInFirstHalf(int k, std::int64_t total, std::vector<int>& chosen, std::int64_t sum, int next) const {
  if (static_cast<int>(chosen.size()) < k) {
    for (int i = next; i < m_low.count; ++i) {
      const std::int64_t s = sum + m_sizes[i];
      if (s > total) continue;
      chosen.push_back(i);
      if (FirstInFirstHalf(k, total, chosen, s, i + 1)) return true;
      chosen.pop_back();
    }
  }
  const int rest = k - static_cast<int>(chosen.size());
  if (!SecondHalfHas(rest, total - sum)) return false;
  return FirstInSecondHalf(k, total, chosen, sum, m_high.first);
}

// Plain index order within the high half, trimmed by what the remaining candidates can still add.
bool HalvesSolver::FirstInSecondHalf(int k, std::int64_t total, std::vector<int>& chosen, std::int64_t sum, int next) const {
  const int rest = k - static_cast<int>(chosen.size());
  if (rest == 0) return sum == total;
  const int m = static_cast<int>(m_sizes.size());
  for (int i = next; i <= m - rest; ++i) {
    const std::int64_t s = sum + m_sizes[i];
    if (s > total) continue;
    // The largest completion from here on: the next rest - 1 candidates.
    std::int64_t most = s;
    for (int j = i + 1; j < i + rest; ++j) most = SaturatingAdd(most, m_sizes[j]);
    if (most < total) return false;
    chosen.push_back(i);
    if (FirstInSecondHalf(k, total, chosen, s, i + 1)) return true;
    chosen.pop_back();
  }
  return false;
}

std::vector<int> HalvesSolver::FirstCombination(int k, std::int64_t total) const {
  std::vector<int> chosen;
  if (k < 0 || k > static_cast<int>(m_sizes.size())) return chosen;
  if (!FirstInFirstHalf(k, total, chosen, 0, 0)) chosen.clear();
  return chosen;
}
