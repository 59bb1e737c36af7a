#include "search/disc_plan.h"

#include <algorithm>
#include <set>
#include <utility>

#include "search/byte_count.h"
#include "search/disc_fit.h"
#include "search/engine.h"

namespace {

using Wide = __int128;  // sums of many sizes near INT64_MAX

std::int64_t CeilDiv(Wide a, std::int64_t b) { return a <= 0 ? 0 : static_cast<std::int64_t>((a + b - 1) / b); }

// The branch and bound over items in descending order: each item goes into an open disc with
// room, or opens the next one. Two discs with the same load and count lead to the same
// subtrees, so only the first is tried; an item that fills a disc exactly goes there and
// nowhere else; and a node whose usable free space is less than the items left is cut.
class Packer {
 public:
  enum Result { kFound, kImpossible, kStopped };

  Packer(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_stop(stop), m_left(sizes.size() + 1, 0) {
    for (std::size_t i = sizes.size(); i-- > 0;) m_left[i] = m_left[i + 1] + sizes[i];
  }

  Result Pack(int discs, DiscList& plan) {
    const int n = static_cast<int>(m_sizes.size());
    std::vector<std::int64_t> load(discs, 0);
    std::vector<int> count(discs, 0), disc(n, -1), next(n + 1, 0);
    const std::int64_t smallest = n ? m_sizes[n - 1] : 0;
    int open = 0;
    long long nodes = 0;
    for (int i = 0;;) {
      if (i == n) break;
      if ((++nodes & 1023) == 0 && m_stop.load(std::memory_order_relaxed)) return kStopped;
      int chosen = -1;
      if (next[i] == 0 && Usable(load, open, discs, smallest) < m_left[i]) {
        next[i] = discs;  // cut: nothing to try here
      } else if (next[i] == 0) {
        chosen = ExactFit(load, count, open, m_sizes[i]);
        if (chosen >= 0) next[i] = discs;  // the only branch worth trying
      }
      const int last = std::min(open + 1, discs);
      for (int d = next[i]; chosen < 0 && d < last; ++d) {
        if (load[d] > m_capacity - m_sizes[i] || count[d] >= m_maxPerDisc || SameAsEarlier(load, count, d)) continue;
        chosen = d;
        next[i] = d + 1;
      }
      if (chosen >= 0) {
        disc[i] = chosen;
        load[chosen] += m_sizes[i];
        if (count[chosen]++ == 0) ++open;
        next[++i] = 0;
        continue;
      }
      if (--i < 0) return kImpossible;
      const int d = disc[i];
      load[d] -= m_sizes[i];
      if (--count[d] == 0) --open;
    }
    plan.assign(open, {});
    for (int i = 0; i < n; ++i) plan[disc[i]].push_back(i);
    return kFound;
  }

 private:
  // Free space that can still take an item: open discs with room for the smallest, and the
  // discs not opened yet.
  Wide Usable(const std::vector<std::int64_t>& load, int open, int discs, std::int64_t smallest) const {
    Wide free = Wide(discs - open) * m_capacity;
    for (int d = 0; d < open; ++d) {
      if (m_capacity - load[d] >= smallest) free += m_capacity - load[d];
    }
    return free;
  }

  int ExactFit(const std::vector<std::int64_t>& load, const std::vector<int>& count, int open, std::int64_t size) const {
    for (int d = 0; d < open; ++d) {
      if (load[d] == m_capacity - size && count[d] < m_maxPerDisc) return d;
    }
    return -1;
  }

  static bool SameAsEarlier(const std::vector<std::int64_t>& load, const std::vector<int>& count, int d) {
    for (int e = 0; e < d; ++e) {
      if (load[e] == load[d] && count[e] == count[d]) return true;
    }
    return false;
  }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  const std::atomic<std::uint8_t>& m_stop;
  std::vector<Wide> m_left;  ///< m_left[i]: total of items i and after
};

// The exact search costs about items times discs per node, and the disc-by-disc plan items
// times discs in all: past these they are not tried.
constexpr long long kSearchLimit = 4'000'000;
constexpr long long kDiscByDiscLimit = 10'000'000;

}  // namespace

int DiscLowerBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
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
        std::lower_bound(sizes.begin(), sizes.begin() + half, capacity - k, std::greater<std::int64_t>()) - sizes.begin();
    const std::size_t end = j < n ? static_cast<std::size_t>(std::upper_bound(sizes.begin() + half, sizes.end(), k,
                                                                               std::greater<std::int64_t>()) - sizes.begin())
                                   : n;
    const Wide room = Wide(half - alone) * capacity - (prefix[half] - prefix[alone]);
    best = std::max<std::int64_t>(best, static_cast<std::int64_t>(half) + CeilDiv(prefix[end] - prefix[half] - room, capacity));
  }
  if (maxPerDisc > 0) best = std::max<std::int64_t>(best, CeilDiv(static_cast<Wide>(n), maxPerDisc));
  return static_cast<int>(best);
}

DiscList BestFitDiscs(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  DiscList discs;
  std::set<std::pair<std::int64_t, int>> room;  // free space and disc, of the discs that take more
  for (int i = 0; i < static_cast<int>(sizes.size()); ++i) {
    auto it = room.lower_bound({sizes[i], -1});
    std::int64_t free = capacity - sizes[i];
    int d = static_cast<int>(discs.size());
    if (it == room.end()) {
      discs.emplace_back();
    } else {
      d = it->second;
      free = it->first - sizes[i];
      room.erase(it);
    }
    discs[d].push_back(i);
    if (static_cast<int>(discs[d].size()) < maxPerDisc) room.emplace(free, d);
  }
  return discs;
}

DiscList DiscByDisc(Span<const std::int64_t> sizes, std::int64_t capacity, const std::atomic<std::uint8_t>& stop) {
  DiscList discs;
  std::vector<int> left(sizes.size());
  for (std::size_t i = 0; i < left.size(); ++i) left[i] = static_cast<int>(i);
  std::vector<std::int64_t> leftSizes(sizes.begin(), sizes.end());
  while (!left.empty() && !stop.load(std::memory_order_relaxed)) {
    const DiscFit fit = FitDisc(leftSizes, capacity, kNoFileLimit, stop);
    if (fit.refusal != PlanRefusal::kNone) break;
    std::vector<int> disc;
    std::vector<bool> taken(left.size(), false);
    for (int c : fit.chosen) {
      taken[c] = true;
      disc.push_back(left[c]);
    }
    discs.push_back(std::move(disc));
    std::size_t kept = 0;
    for (std::size_t c = 0; c < left.size(); ++c) {
      if (taken[c]) continue;
      left[kept] = left[c];
      leftSizes[kept++] = leftSizes[c];
    }
    left.resize(kept);
    leftSizes.resize(kept);
  }
  for (std::vector<int>& disc : BestFitDiscs(leftSizes, capacity, kNoFileLimit)) {
    for (int& i : disc) i = left[i];
    discs.push_back(std::move(disc));
  }
  return discs;
}

DiscPlan PlanDiscs(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop) {
  DiscPlan plan;
  std::size_t first = 0;
  while (first < sizes.size() && sizes[first] > capacity) plan.oversized.push_back(static_cast<int>(first++));
  const Span<const std::int64_t> items = sizes.subspan(first);
  plan.lowerBound = DiscLowerBound(items, capacity, maxPerDisc);
  DiscList best = BestFitDiscs(items, capacity, maxPerDisc);
  if (maxPerDisc == kNoFileLimit && static_cast<long long>(items.size()) * plan.lowerBound <= kDiscByDiscLimit) {
    DiscList byDisc = DiscByDisc(items, capacity, stop);
    if (byDisc.size() < best.size()) best = std::move(byDisc);
  }
  if (static_cast<long long>(items.size()) * static_cast<long long>(best.size()) <= kSearchLimit) {
    Packer packer(items, capacity, maxPerDisc, stop);
    for (int discs = static_cast<int>(best.size()) - 1; discs >= plan.lowerBound; --discs) {
      DiscList fewer;
      const Packer::Result r = packer.Pack(discs, fewer);
      if (r == Packer::kStopped) {
        plan.complete = false;
        break;
      }
      if (r == Packer::kImpossible) {
        plan.lowerBound = discs + 1;
        break;
      }
      best = std::move(fewer);
    }
  }
  for (std::vector<int>& disc : best) {
    for (int& i : disc) i += static_cast<int>(first);
    std::sort(disc.begin(), disc.end());
  }
  std::sort(best.begin(), best.end());
  plan.discs = std::move(best);
  return plan;
}
