#include "discs/plan.h"

#include <algorithm>
#include <climits>
#include <random>
#include <set>
#include <utility>

#include "search/byte_count.h"
#include "search/disc_fit.h"
#include "discs/relaxation.h"
#include "search/engine.h"

namespace {

using Wide = __int128;  // sums of many sizes near INT64_MAX

std::int64_t CeilDiv(Wide a, std::int64_t b) { return a <= 0 ? 0 : static_cast<std::int64_t>((a + b - 1) / b); }

// Martello and Toth's bound L2, with the file limit.
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

  // kStopped also when more than `nodes` nodes were visited.
  Result Pack(int discs, DiscList& plan, long long nodes) {
    Wide total = 0;
    for (std::int64_t s : m_sizes) total += s;
    const Wide waste = Wide(discs) * m_capacity - total;
    if (waste < 0) return kImpossible;
    m_stopped = false;
    m_nodes = 0;
    m_budget = nodes;
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
    m_remaining.clear();
    for (std::size_t i = 0; i < m_used.size(); ++i) {
      if (!m_used[i]) m_remaining.push_back(m_sizes[i]);
    }
    if (L2Bound(m_remaining, m_capacity, m_maxPerDisc) > discs) return false;
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
    if ((++m_nodes & 1023) == 0 && (m_nodes > m_budget || m_stop.load(std::memory_order_relaxed))) m_stopped = true;
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
    if (room > waste || (!full && m_left > 0 && Smallest() <= room) || Dominated(room)) return false;
    return Fill(discs - 1, waste - room, spent);
  }

  // Whether an item left for later discs could take the place of one or two of this disc's
  // (all but its first, the largest left), filling it at least as well: then the plan with the
  // swap is as good, and the search meets it elsewhere.
  bool Dominated(std::int64_t room) const {
    const std::vector<int>& disc = m_discs.back();
    for (std::size_t a = 1; a < disc.size(); ++a) {
      if (Unused(m_sizes[disc[a]] + 1, m_sizes[disc[a]] + room)) return true;
      for (std::size_t b = a + 1; b < disc.size(); ++b) {
        const std::int64_t both = m_sizes[disc[a]] + m_sizes[disc[b]];
        if (Unused(both, both + room)) return true;
      }
    }
    return false;
  }

  // Whether an item not taken has a size from lo to hi.
  bool Unused(std::int64_t lo, std::int64_t hi) const {
    auto i = std::lower_bound(m_sizes.begin(), m_sizes.end(), hi, std::greater<std::int64_t>()) - m_sizes.begin();
    for (; i < static_cast<std::ptrdiff_t>(m_sizes.size()) && m_sizes[i] >= lo; ++i) {
      if (!m_used[i]) return true;
    }
    return false;
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
  std::vector<std::int64_t> m_remaining;
  DiscList m_discs;
  int m_left = 0;
  int m_limit = 0;
  bool m_cut = false;
  bool m_stopped = false;
  long long m_nodes = 0;
  long long m_budget = 0;
};

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

// Packs a plan's items into one disc fewer: the least filled disc is emptied into a pool, and a
// tabu search (after Buljubasic and Vasquez's consistent neighbourhood search) swaps up to two
// items of a disc for one or two of the pool whenever they fit, preferring the swap that moves
// the most bytes into the discs. When no swap gains, items move between two discs towards the
// fuller one, which gathers the free space on fewer discs, where the pool's items fit. An item
// that came from the pool stays on its disc for a few moves, so no swap is undone at once; when
// nothing gains, the best swap is taken all the same, which walks the search out of dead ends.
// Done when the pool is empty.
class Repacker {
 public:
  Repacker(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_stop(stop), m_until(sizes.size(), 0) {}

  // True with `plan` one disc shorter; false when `moves` ran out or the stop flag was set.
  bool Fewer(DiscList& plan, long long moves) {
    m_discs = plan;
    m_load.assign(m_discs.size(), 0);
    for (std::size_t d = 0; d < m_discs.size(); ++d) {
      for (int i : m_discs[d]) m_load[d] += m_sizes[i];
    }
    const std::size_t emptied = std::min_element(m_load.begin(), m_load.end()) - m_load.begin();
    m_pool = m_discs[emptied];
    m_discs.erase(m_discs.begin() + emptied);
    m_load.erase(m_load.begin() + emptied);
    std::fill(m_until.begin(), m_until.end(), 0);
    for (long long move = 1; move <= moves; ++move) {
      if (m_pool.empty()) {
        // Gathering may have emptied a disc: then the plan is shorter still.
        plan.clear();
        for (std::vector<int>& disc : m_discs) {
          if (!disc.empty()) plan.push_back(std::move(disc));
        }
        return true;
      }
      if (m_stop.load(std::memory_order_relaxed)) return false;
      if (!Swap(move, true) && !Gather() && !Swap(move, false)) return false;
    }
    return false;
  }

 private:
  // Up to two items of a list, by the positions in it (-1 for none), and their size.
  struct Group {
    std::int64_t size;
    int a, b;
  };
  struct Groups {
    std::vector<Group> bySize[3];  // of none, one and two items, ascending
  };
  static constexpr long long kEveryItem = LLONG_MAX;
  static constexpr std::size_t kPairedItems = 48;

  // The groups of `items`, leaving out the items held at `move`; pairs only from a short list,
  // so that a disc of many small files costs no more than its files.
  void Group(const std::vector<int>& items, long long move, Groups& g) const {
    for (std::vector<struct Group>& v : g.bySize) v.clear();
    g.bySize[0].push_back({0, -1, -1});
    const bool pairs = items.size() <= kPairedItems;
    for (int a = 0; a < static_cast<int>(items.size()); ++a) {
      if (m_until[items[a]] > move) continue;
      g.bySize[1].push_back({m_sizes[items[a]], a, -1});
      for (int b = a + 1; pairs && b < static_cast<int>(items.size()); ++b) {
        if (m_until[items[b]] <= move) g.bySize[2].push_back({m_sizes[items[a]] + m_sizes[items[b]], a, b});
      }
    }
    const auto bySize = [](const struct Group& x, const struct Group& y) { return x.size < y.size; };
    for (std::vector<struct Group>& v : g.bySize) std::sort(v.begin(), v.end(), bySize);
  }

  // The largest group of `count` items of at most `limit` bytes, or null.
  static const struct Group* Largest(const Groups& g, int count, std::int64_t limit) {
    const std::vector<struct Group>& v = g.bySize[count];
    auto it = std::upper_bound(v.begin(), v.end(), limit, [](std::int64_t r, const struct Group& x) { return r < x.size; });
    return it == v.begin() ? nullptr : &*(it - 1);
  }

  // Moves group `out` of disc `d` to the pool and group `in` of the pool to disc `d`.
  void Exchange(int d, const struct Group& out, const struct Group& in, long long hold) {
    std::vector<int>& disc = m_discs[d];
    std::vector<int> taken;
    for (int k : {out.b, out.a}) {
      if (k < 0) continue;
      taken.push_back(disc[k]);
      disc.erase(disc.begin() + k);
    }
    for (int k : {in.b, in.a}) {
      if (k < 0) continue;
      disc.push_back(m_pool[k]);
      m_until[m_pool[k]] = hold;
      m_pool.erase(m_pool.begin() + k);
    }
    m_pool.insert(m_pool.end(), taken.begin(), taken.end());
    m_load[d] += in.size - out.size;
  }

  // The pool swap that gains the most bytes for the discs (ties drawn at random); with
  // `gainOnly`, only one that gains.
  bool Swap(long long move, bool gainOnly) {
    Group(m_pool, kEveryItem, m_poolGroups);
    std::int64_t bestGain = 0;
    int bestDisc = -1, ties = 0;
    struct Group bestOut{}, bestIn{};
    for (int d = 0; d < static_cast<int>(m_discs.size()); ++d) {
      Group(m_discs[d], move, m_discGroups);
      const int count = static_cast<int>(m_discs[d].size());
      for (int outCount = 0; outCount < 3; ++outCount) {
        for (const struct Group& out : m_discGroups.bySize[outCount]) {
          for (int inCount = 1; inCount < 3; ++inCount) {
            if (count - outCount + inCount > m_maxPerDisc) continue;
            const struct Group* in = Largest(m_poolGroups, inCount, m_capacity - m_load[d] + out.size);
            if (!in) continue;
            const std::int64_t gain = in->size - out.size;
            if ((gainOnly && gain <= 0) || (bestDisc >= 0 && gain < bestGain)) continue;
            if (bestDisc < 0 || gain > bestGain) ties = 0;
            if (m_random() % ++ties != 0) continue;
            bestGain = gain;
            bestDisc = d;
            bestOut = out;
            bestIn = *in;
          }
        }
      }
    }
    if (bestDisc < 0) return false;
    Exchange(bestDisc, bestOut, bestIn, move + 3 + static_cast<long long>(m_random() % 8));
    return true;
  }

  // Moves the most bytes that fit from one disc to a fuller one, up to two items each way, for
  // every pair of discs, until no pair changes. True when anything moved.
  bool Gather() {
    bool moved = false;
    for (bool again = true; again;) {
      again = false;
      for (int full = 0; full < static_cast<int>(m_discs.size()); ++full) {
        if (m_stop.load(std::memory_order_relaxed)) return moved;
        for (int other = 0; other < static_cast<int>(m_discs.size()); ++other) {
          if (other == full || m_load[other] > m_load[full] || (m_load[other] == m_load[full] && other < full)) continue;
          Group(m_discs[full], kEveryItem, m_discGroups);
          Group(m_discs[other], kEveryItem, m_otherGroups);
          const int fullCount = static_cast<int>(m_discs[full].size()), otherCount = static_cast<int>(m_discs[other].size());
          std::int64_t best = 0;
          struct Group bestOut{}, bestIn{};
          for (int outCount = 0; outCount < 3; ++outCount) {
            for (const struct Group& out : m_discGroups.bySize[outCount]) {
              for (int inCount = 0; inCount < 3; ++inCount) {
                if (fullCount - outCount + inCount > m_maxPerDisc || otherCount - inCount + outCount > m_maxPerDisc) continue;
                const struct Group* in = Largest(m_otherGroups, inCount, m_capacity - m_load[full] + out.size);
                if (in && in->size - out.size > best) {
                  best = in->size - out.size;
                  bestOut = out;
                  bestIn = *in;
                }
              }
            }
          }
          if (best == 0) continue;
          std::vector<int> toFull, toOther;
          for (int k : {bestIn.b, bestIn.a}) {
            if (k < 0) continue;
            toFull.push_back(m_discs[other][k]);
            m_discs[other].erase(m_discs[other].begin() + k);
          }
          for (int k : {bestOut.b, bestOut.a}) {
            if (k < 0) continue;
            toOther.push_back(m_discs[full][k]);
            m_discs[full].erase(m_discs[full].begin() + k);
          }
          m_discs[full].insert(m_discs[full].end(), toFull.begin(), toFull.end());
          m_discs[other].insert(m_discs[other].end(), toOther.begin(), toOther.end());
          m_load[full] += best;
          m_load[other] -= best;
          again = moved = true;
        }
      }
    }
    return moved;
  }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  const std::atomic<std::uint8_t>& m_stop;
  std::vector<long long> m_until;  // the move until which an item stays on its disc
  DiscList m_discs;
  std::vector<std::int64_t> m_load;
  std::vector<int> m_pool;
  Groups m_poolGroups, m_discGroups, m_otherGroups;
  std::minstd_rand m_random{12345};
};

// The exact search costs about items times discs per node, and the disc-by-disc plan items
// times discs in all: past these they are not tried.
constexpr long long kSearchLimit = 4'000'000;
constexpr long long kDiscByDiscLimit = 10'000'000;
// The first budgets of repacking (moves) and of the exact search (nodes, about as costly).
constexpr long long kFirstBudget = 1000;
constexpr long long kNodesPerMove = 20;
// The linear relaxation is solved for up to this many items, with a budget of knapsack nodes
// for each turn until it ends.
constexpr std::size_t kRelaxedItems = 400;
constexpr long long kRelaxNodesPerMove = 10'000;

}  // namespace

namespace {

// L2 or the bound above, whichever is higher.
int SimpleBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  return std::max(L2Bound(sizes, capacity, maxPerDisc), DualFeasibleBound(sizes, capacity));
}

// Martello and Toth's reduction, in its simplest case: an item too large to share a disc with
// two others is best alone with the largest item that fits beside it (any disc it shares holds
// at most one other item, and the largest one leaves the least for the other discs), so some
// plan of the fewest discs holds that disc. Taken from the largest item down, until one could
// share with two; `rest` gets the items left, ascending.
void Reduce(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, DiscList& fixed, std::vector<int>& rest) {
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
    if (maxPerDisc > 2 && small[1] >= 0 && sizes[j] + sizes[small[0]] + sizes[small[1]] <= capacity) break;
    taken[j] = true;
    free[j] = j + 1;
    fixed.push_back({j});
    const int beside = maxPerDisc < 2 ? n
                                      : next(static_cast<int>(std::lower_bound(sizes.begin(), sizes.end(), capacity - sizes[j],
                                                                               std::greater<std::int64_t>()) - sizes.begin()));
    if (beside == n) continue;
    taken[beside] = true;
    free[beside] = beside + 1;
    fixed.back().push_back(beside);
  }
  for (int i = 0; i < n; ++i) {
    if (!taken[i]) rest.push_back(i);
  }
}

// The discs the reduction fixes, the items it leaves, and the bound over both.
struct Reduced {
  DiscList fixed;
  std::vector<int> rest;
  std::vector<std::int64_t> restSizes;
  int bound = 0;
};

Reduced ReduceAndBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  Reduced r;
  Reduce(sizes, capacity, maxPerDisc, r.fixed, r.rest);
  r.bound = SimpleBound(sizes, capacity, maxPerDisc);
  r.restSizes.reserve(r.rest.size());
  for (int i : r.rest) r.restSizes.push_back(sizes[i]);
  if (!r.fixed.empty()) r.bound = std::max(r.bound, static_cast<int>(r.fixed.size()) + SimpleBound(r.restSizes, capacity, maxPerDisc));
  return r;
}

}  // namespace

int DiscLowerBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc) {
  return ReduceAndBound(sizes, capacity, maxPerDisc).bound;
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
  const Reduced reduced = ReduceAndBound(items, capacity, maxPerDisc);
  const DiscList& fixed = reduced.fixed;
  const std::vector<int>& rest = reduced.rest;
  const std::vector<std::int64_t>& restSizes = reduced.restSizes;
  const int fixedCount = static_cast<int>(fixed.size());
  plan.lowerBound = reduced.bound;
  DiscList best = BestFitDiscs(items, capacity, maxPerDisc);
  DiscList left = fixed.empty() ? best : BestFitDiscs(restSizes, capacity, maxPerDisc);
  if (static_cast<int>(best.size()) > plan.lowerBound && maxPerDisc == kNoFileLimit &&
      static_cast<long long>(items.size()) * plan.lowerBound <= kDiscByDiscLimit) {
    DiscList byDisc = DiscByDisc(items, capacity, stop);
    if (byDisc.size() < best.size()) best = std::move(byDisc);
  }
  // The discs the reduction fixed belong to a plan of the fewest discs: the search packs only
  // the items left. The linear relaxation may raise the bound, and its rounded solution is a
  // start; repacking into one disc fewer finds most plans at the bound; the exact search finds the
  // rest or proves the bound one higher. All run with budgets that double until one of them
  // settles the question or the stop flag is set.
  const auto improve = [&] {
    if (fixedCount + left.size() >= best.size()) return;
    best = fixed;
    for (const std::vector<int>& disc : left) {
      best.emplace_back();
      for (int i : disc) best.back().push_back(rest[i]);
    }
  };
  improve();
  if (static_cast<long long>(rest.size()) * static_cast<long long>(left.size()) <= kSearchLimit) {
    const auto target = [&] { return plan.lowerBound - fixedCount; };
    Repacker repacker(restSizes, capacity, maxPerDisc, stop);
    Packer packer(restSizes, capacity, maxPerDisc, stop);
    // Whatever the largest items alone need, all need: where many small items make the exact
    // search too wide to prove anything, it may still prove the bound too low for the items over
    // a tenth of a disc.
    const std::size_t large = std::find_if(restSizes.begin(), restSizes.end(), [&](std::int64_t v) { return v < capacity / 10; }) - restSizes.begin();
    const Span<const std::int64_t> largeSizes(restSizes.data(), large);
    Packer largePacker(largeSizes, capacity, maxPerDisc, stop);
    int largeFits = 0;  // a number of discs the large items are known to fit
    bool relaxed = false;
    for (long long budget = kFirstBudget; static_cast<int>(best.size()) > plan.lowerBound; budget *= 2) {
      if (stop.load(std::memory_order_relaxed)) {
        plan.complete = false;
        break;
      }
      // The relaxation of the items over a tenth of a disc, whose knapsacks stay small: of all
      // items where no others are left, with a plan to start from.
      if (!relaxed && large > 0 && large <= kRelaxedItems) {
        const bool all = large == restSizes.size();
        const Relaxation lp = Relax(largeSizes, capacity, all ? left : BestFitDiscs(largeSizes, capacity, kNoFileLimit), target(),
                                    budget * kRelaxNodesPerMove, stop);
        relaxed = lp.complete;
        plan.lowerBound = std::max(plan.lowerBound, fixedCount + lp.bound);
        if (all && maxPerDisc == kNoFileLimit && lp.discs.size() < left.size()) {
          left = lp.discs;
          improve();
        }
        if (static_cast<int>(best.size()) <= plan.lowerBound) break;
      }
      DiscList fewer = left;
      while (static_cast<int>(fewer.size()) > target() && repacker.Fewer(fewer, budget)) left = fewer;
      improve();
      if (static_cast<int>(best.size()) <= plan.lowerBound) break;
      const int tried = std::min(static_cast<int>(left.size()), static_cast<int>(best.size()) - fixedCount) - 1;
      const Packer::Result r = packer.Pack(tried, fewer, budget * kNodesPerMove);
      if (r == Packer::kFound) {
        left = std::move(fewer);
        improve();
      }
      if (r == Packer::kImpossible) plan.lowerBound = std::max(plan.lowerBound, fixedCount + tried + 1);
      if (large > 0 && large < restSizes.size() && target() > largeFits && static_cast<int>(best.size()) > plan.lowerBound) {
        const Packer::Result q = largePacker.Pack(target(), fewer, budget * kNodesPerMove);
        if (q == Packer::kImpossible) ++plan.lowerBound;
        if (q == Packer::kFound) largeFits = target();
      }
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
