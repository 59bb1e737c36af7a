#include "search/halves.h"

#include <algorithm>

#include "search/saturating.h"
#include "search/sorted_search.h"

namespace {

// Largest a + b <= limit above `floor` with a from `low` and b from `high` (both sorted), or
// `floor`. The smaller list is walked from its top and the larger one searched from the partner
// found last, as partners only go up; the walk ends once no pair can exceed the best, which a high
// floor makes soon.
std::int64_t BestPair(const std::vector<std::int64_t>& low, const std::vector<std::int64_t>& high, std::int64_t limit,
                      std::int64_t floor) {
  const auto& small = low.size() <= high.size() ? low : high;
  const auto& large = low.size() <= high.size() ? high : low;
  std::int64_t best = floor;
  auto it = large.begin();
  for (auto s = small.rbegin(); s != small.rend(); ++s) {
    if (*s > limit) continue;
    if (SaturatingAdd(*s, large.back()) <= best) break;  // smaller totals of `small` cannot do better
    it = UpperBoundFrom(it, large.end(), limit - *s);
    if (it == large.begin()) continue;
    best = std::max(best, *s + *(it - 1));
    if (best == limit) break;
  }
  return best;
}

}  // namespace

HalvesSolver::HalvesSolver(Span<const std::int64_t> sizes, std::int64_t capacity, int highest,
                           const std::atomic<std::uint8_t>& stop)
    : m_sizes(sizes), m_capacity(capacity), m_stop(stop), m_split(static_cast<int>(sizes.size()) / 2) {
  const int m = static_cast<int>(sizes.size());
  m_low = SubsetTotals(0, m_split, highest);
  m_high = SubsetTotals(m_split, m - m_split, highest);
}

// Looks at the stop flag every few thousand calls.
bool HalvesSolver::CheckStop() const {
  if ((++m_visits & 0xFFF) == 0 && m_stop.load(std::memory_order_relaxed)) m_stopped = true;
  return m_stopped;
}

// Subset totals of `count` candidates from `first`, with at most `most` members, built by
// merging: adding a candidate merges each list with the next smaller list shifted by its size.
HalvesSolver::Lists HalvesSolver::SubsetTotals(int first, int count, int most) const {
  const int sizesKept = std::min(count, std::max(most, 0));
  Lists lists(sizesKept + 1);
  lists[0] = {0};
  std::vector<std::int64_t> merged;
  for (int item = 0; item < count && !Stopped(); ++item) {
    const std::int64_t x = m_sizes[first + item];
    // A merge of one size's lists takes milliseconds at most: the stop flag is looked at before each.
    for (int c = std::min(item + 1, sizesKept); c >= 1 && !Stopped(); --c) {
      const auto& shorter = lists[c - 1];
      const auto& current = lists[c];
      merged.clear();
      merged.reserve(current.size() + shorter.size());
      auto a = current.begin();
      for (std::int64_t s : shorter) {
        if (s > m_capacity - x) break;  // every size is at most the capacity: no overflow
        const std::int64_t t = s + x;
        while (a != current.end() && *a < t) merged.push_back(*a++);
        merged.push_back(t);
      }
      merged.insert(merged.end(), a, current.end());
      lists[c].swap(merged);
    }
  }
  return lists;
}

std::int64_t HalvesSolver::BestTotal(int k, std::int64_t floor) const {
  std::int64_t best = -1;
  if (Stopped()) return best;
  for (int a = 0; a < static_cast<int>(m_low.size()); ++a) {
    const int b = k - a;
    if (b < 0 || b >= static_cast<int>(m_high.size())) continue;
    const auto& low = m_low[a];
    const auto& high = m_high[b];
    if (low.empty() || high.empty()) continue;
    // Skip splits that cannot beat what is already known, or where nothing fits.
    const std::int64_t most = SaturatingAdd(low.back(), high.back());
    if (most <= std::max(best, floor) || low.front() > m_capacity - high.front()) continue;
    best = BestPair(low, high, m_capacity, std::max(best, floor));
  }
  return best > floor ? best : -1;
}

// Index order of whole combinations, seen from the low half: a combination whose low part
// extends another's low part comes first (its next index is below every high-half index), so
// each low part is visited after all of its extensions. `wanted` lists, per low-part size, the
// low totals that some high part completes.
bool HalvesSolver::FirstInLowHalf(int k, std::int64_t total, const Lists& wanted, std::vector<int>& chosen,
                                  std::int64_t sum, int next) const {
  const int size = static_cast<int>(chosen.size());
  if (CheckStop()) return false;
  if (size < k && size + 1 < static_cast<int>(wanted.size())) {
    for (int i = next; i < m_split; ++i) {
      if (m_sizes[i] > total - sum) continue;
      chosen.push_back(i);
      if (FirstInLowHalf(k, total, wanted, chosen, sum + m_sizes[i], i + 1)) return true;
      chosen.pop_back();
    }
  }
  const auto& sums = wanted[size];
  if (!std::binary_search(sums.begin(), sums.end(), sum)) return false;
  return FirstInHighHalf(k, total, chosen, sum, m_split);
}

// Plain index order within the high half, trimmed by what the remaining candidates can add.
bool HalvesSolver::FirstInHighHalf(int k, std::int64_t total, std::vector<int>& chosen, std::int64_t sum,
                                   int next) const {
  const int rest = k - static_cast<int>(chosen.size());
  if (rest == 0) return sum == total;
  if (CheckStop()) return false;
  const int m = static_cast<int>(m_sizes.size());
  for (int i = next; i <= m - rest; ++i) {
    if (m_sizes[i] > total - sum) continue;
    const std::int64_t s = sum + m_sizes[i];
    std::int64_t most = s;  // the largest completion from here: the next rest - 1 candidates
    for (int j = i + 1; j < i + rest; ++j) most = SaturatingAdd(most, m_sizes[j]);
    if (most < total) return false;
    chosen.push_back(i);
    if (FirstInHighHalf(k, total, chosen, s, i + 1)) return true;
    chosen.pop_back();
  }
  return false;
}

std::vector<int> HalvesSolver::FirstCombination(int k, std::int64_t total) const {
  std::vector<int> chosen;
  if (k < 0 || total < 0 || Stopped()) return chosen;
  // The low totals that pair with a high total of the right size to make `total` exactly.
  Lists wanted(m_low.size());
  for (int a = 0; a < static_cast<int>(m_low.size()); ++a) {
    const int b = k - a;
    if (b < 0 || b >= static_cast<int>(m_high.size())) continue;
    const auto& high = m_high[b];
    auto it = high.end();  // as s goes up, its partner total - s only goes down
    for (std::int64_t s : m_low[a]) {
      if (s > total || CheckStop()) break;
      it = LowerBoundBefore(high.begin(), it, total - s);
      if (it != high.end() && *it == total - s) wanted[a].push_back(s);
    }
  }
  if (!FirstInLowHalf(k, total, wanted, chosen, 0, 0)) chosen.clear();
  return chosen;
}
