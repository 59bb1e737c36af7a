#include "discs/bounds.h"

#include <algorithm>
#include <functional>

namespace {

using Wide = __int128;  // sums of many sizes near INT64_MAX

std::int64_t CeilDiv(Wide a, std::int64_t b) { return a <= 0 ? 0 : static_cast<std::int64_t>((a + b - 1) / b); }

}  // namespace

int L2Bound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  const std::size_t n = sizes.size();
  if (n == 0) return 0;
  std::vector<Wide> prefix(n + 1, 0);
  for (std::size_t i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + sizes[i];
  // Items over half a disc each need a disc of their own.
  std::size_t half = 0;
  while (half < n && sizes[half] > capacity - sizes[half]) ++half;
  // For each k from the small sizes: items over capacity - k take a disc no small item of at
  // least k can join; the other large ones leave room that the small ones may fill.
  std::int64_t best = 0;
  for (std::size_t j = half; j <= n; ++j) {
    if (j > half && j < n && sizes[j] == sizes[j - 1]) continue;
    const std::int64_t k = j < n ? sizes[j] : 0;
    const std::size_t alone =
        std::lower_bound(sizes.begin(), sizes.begin() + half, capacity - k, std::greater<std::int64_t>()) -
        sizes.begin();
    const std::size_t end =
        j < n
            ? static_cast<std::size_t>(
                  std::upper_bound(sizes.begin() + half, sizes.end(), k, std::greater<std::int64_t>()) - sizes.begin())
            : n;
    const Wide room = Wide(half - alone) * capacity - (prefix[half] - prefix[alone]);
    best = std::max<std::int64_t>(
        best, static_cast<std::int64_t>(half) + CeilDiv(prefix[end] - prefix[half] - room, capacity));
  }
  if (maxPerDisc > 0) best = std::max<std::int64_t>(best, CeilDiv(static_cast<Wide>(n), maxPerDisc));
  return static_cast<int>(best);
}

namespace {

// Fekete and Schepers' bound: any function f on sizes for which items that fit a disc together
// map to values that add up to at most 1 turns the item count into a bound, ceil(sum of f). It
// takes f = u_k after U_e, for k up to kDualSteps and each size e up to half a disc: U_e counts an
// item over capacity - e as a whole disc and one under e as nothing, and u_k rounds a size down
// to a multiple of 1/k of a disc, with a step's worth more than the size itself (floor((k+1)x)/k).
// Values are kept in units of 1/(k * capacity), exactly. The items over capacity - e grow and
// those under e shrink as e grows, so each k is one pass.
constexpr int kDualSteps = 16;

int DualFeasibleBound(Span<const std::int64_t> sizes, std::int64_t capacity) {
  const std::size_t n = sizes.size();
  if (n == 0 || capacity <= 0) return 0;
  std::int64_t best = 0;
  std::vector<Wide> prefix(n + 1, 0);
  for (int k = 1; k <= kDualSteps; ++k) {
    for (std::size_t i = 0; i < n; ++i) {
      const Wide step = Wide(k + 1) * sizes[i];
      prefix[i + 1] = prefix[i] + (step % capacity == 0 ? Wide(k) * sizes[i] : step / capacity * capacity);
    }
    const Wide whole = Wide(k) * capacity;
    std::size_t large = 0, small = n;  // items over capacity - e, and from the first one under e
    for (std::size_t j = n + 1; j-- > 0;) {
      const std::int64_t e = j < n ? sizes[j] : 0;
      if (e > capacity - e) break;
      if (j < n && j > 0 && sizes[j - 1] == e) continue;
      while (large < n && sizes[large] > capacity - e) ++large;
      while (small > 0 && sizes[small - 1] < e) --small;
      const Wide sum = Wide(large) * whole + prefix[std::max(small, large)] - prefix[large];
      best = std::max<std::int64_t>(best, static_cast<std::int64_t>((sum + whole - 1) / whole));
    }
  }
  return static_cast<int>(best);
}

// L2 or the bound above, whichever is higher.
int SimpleBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  return std::max(L2Bound(sizes, capacity, maxPerDisc), DualFeasibleBound(sizes, capacity));
}

// Martello and Toth's reduction, in its simplest case: an item too large to share a disc with
// two others is best alone with the largest item that fits beside it (any disc it shares holds
// at most one other item, and the largest one leaves the least for the other discs), so some
// plan of the fewest discs holds that disc. Taken from the largest item down, until one could
// share with two; `rest` gets the items left, ascending.
void Reduce(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, DiscList& fixed,
            std::vector<int>& rest) {
  const int n = static_cast<int>(sizes.size());
  std::vector<int> free(n + 1);  // the first item not taken from here on (path-halving links)
  for (int i = 0; i <= n; ++i) free[i] = i;
  const auto next = [&](int i) {
    while (free[i] != i) i = free[i] = free[free[i]];
    return i;
  };
  std::vector<bool> taken(n, false);
  int last = n - 1;  // the smallest item not taken
  for (int j = 0; j < n; j = next(j + 1)) {
    while (last >= 0 && taken[last]) --last;
    int small[2] = {-1, -1};
    for (int i = last, found = 0; i >= 0 && found < 2; --i) {
      if (!taken[i] && i != j) small[found++] = i;
    }
    if (maxPerDisc > 2 && small[1] >= 0 && Wide(sizes[j]) + sizes[small[0]] + sizes[small[1]] <= capacity) break;
    taken[j] = true;
    free[j] = j + 1;
    fixed.push_back({j});
    const int beside = maxPerDisc < 2
                           ? n
                           : next(static_cast<int>(std::lower_bound(sizes.begin(), sizes.end(), capacity - sizes[j],
                                                                    std::greater<std::int64_t>()) -
                                                   sizes.begin()));
    if (beside == n) continue;
    taken[beside] = true;
    free[beside] = beside + 1;
    fixed.back().push_back(beside);
  }
  for (int i = 0; i < n; ++i) {
    if (!taken[i]) rest.push_back(i);
  }
}

}  // namespace

Reduced ReduceAndBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  Reduced r;
  Reduce(sizes, capacity, maxPerDisc, r.fixed, r.rest);
  r.bound = SimpleBound(sizes, capacity, maxPerDisc);
  r.restSizes.reserve(r.rest.size());
  for (int i : r.rest) r.restSizes.push_back(sizes[i]);
  if (!r.fixed.empty())
    r.bound = std::max(r.bound, static_cast<int>(r.fixed.size()) + SimpleBound(r.restSizes, capacity, maxPerDisc));
  return r;
}

int DiscLowerBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  return ReduceAndBound(sizes, capacity, maxPerDisc).bound;
}
