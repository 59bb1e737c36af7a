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

// Bin completion: the discs are filled one at a time, each starting with the largest item left
// and completed by a set of the items after it, fuller completions first. The space a plan of
// `discs` discs may leave empty is fixed by the total, and each closed disc spends its free
// space from it, which cuts most branches early. Two rules keep only undominated completions:
// a disc is closed only when no item left fits in its free space (else adding the item is never
// worse), and an item that fills the disc exactly is the only one tried there. Among items of
// one size, only the first not taken is tried at each step. The search runs in passes of limited
// discrepancy: pass k takes at most k times an item other than the largest that fits, so plans
// close to the greedy one come first; a pass the limit never cut settles the question.
class Packer {
 public:
  enum Result { kFound, kImpossible, kStopped };

  Packer(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_stop(stop), m_used(sizes.size(), false) {}

  Result Pack(int discs, DiscList& plan) {
    Wide total = 0;
    for (std::int64_t s : m_sizes) total += s;
    const Wide waste = Wide(discs) * m_capacity - total;
    if (waste < 0) return kImpossible;
    m_stopped = false;
    m_nodes = 0;
    for (m_limit = 0;; ++m_limit) {
      std::fill(m_used.begin(), m_used.end(), false);
      m_discs.clear();
      m_left = static_cast<int>(m_sizes.size());
      m_cut = false;
      if (Fill(discs, waste, 0)) {
        plan = m_discs;
        return kFound;
      }
      if (m_stopped) return kStopped;
      if (!m_cut) return kImpossible;
    }
  }

 private:
  // Opens a disc with the largest item left and completes it.
  bool Fill(int discs, Wide waste, int spent) {
    if (m_left == 0) return true;
    if (discs == 0) return false;
    int first = 0;
    while (m_used[first]) ++first;
    Take(first);
    m_discs.push_back({first});
    if (Complete(first + 1, m_capacity - m_sizes[first], discs, waste, spent)) return true;
    m_discs.pop_back();
    Give(first);
    return false;
  }

  bool Complete(int from, std::int64_t room, int discs, Wide waste, int spent) {
    if ((++m_nodes & 1023) == 0 && m_stop.load(std::memory_order_relaxed)) m_stopped = true;
    if (m_stopped) return false;
    const bool full = static_cast<int>(m_discs.back().size()) >= m_maxPerDisc;
    std::int64_t tried = -1;
    for (int i = from; !full && i < static_cast<int>(m_sizes.size()); ++i) {
      if (m_used[i] || m_sizes[i] > room || m_sizes[i] == tried) continue;
      const int cost = spent + (tried >= 0);
      if (cost > m_limit) {
        m_cut = true;
        break;
      }
      tried = m_sizes[i];
      Take(i);
      m_discs.back().push_back(i);
      if (Complete(i + 1, room - m_sizes[i], discs, waste, cost)) return true;
      m_discs.back().pop_back();
      Give(i);
      if (m_stopped || m_sizes[i] == room) return false;
    }
    // Close the disc: only when nothing left fits its free space, and that space is affordable.
    if (room > waste || (!full && m_left > 0 && Smallest() <= room)) return false;
    return Fill(discs - 1, waste - room, spent);
  }

  std::int64_t Smallest() const {
    int i = static_cast<int>(m_sizes.size()) - 1;
    while (m_used[i]) --i;
    return m_sizes[i];
  }
  void Take(int i) {
    m_used[i] = true;
    --m_left;
  }
  void Give(int i) {
    m_used[i] = false;
    ++m_left;
  }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  const std::atomic<std::uint8_t>& m_stop;
  std::vector<bool> m_used;
  DiscList m_discs;
  int m_left = 0;
  int m_limit = 0;
  bool m_cut = false;
  bool m_stopped = false;
  long long m_nodes = 0;
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
