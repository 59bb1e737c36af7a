#include "discs/repacking.h"

#include <algorithm>
#include <utility>

bool Repacker::Fewer(DiscList& plan, long long moves) {
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

// The groups of `items`, leaving out the items held at `move`; pairs only from a short list,
// so that a disc of many small files costs no more than its files.
void Repacker::Group(const std::vector<int>& items, long long move, Groups& g) const {
  for (std::vector<struct Group>& v : g.bySize) v.clear();
  g.bySize[0].push_back({0, -1, -1});
  const bool pairs = items.size() <= kPairedItems;
  for (int a = 0; a < static_cast<int>(items.size()); ++a) {
    if (m_until[items[a]] > move) continue;
    g.bySize[1].push_back({m_sizes[items[a]], a, -1});
    for (int b = a + 1; pairs && b < static_cast<int>(items.size()); ++b) {
      // A pair over a disc never fits, and its sum might not fit 64 bits.
      if (m_until[items[b]] <= move && m_sizes[items[a]] <= m_capacity - m_sizes[items[b]])
        g.bySize[2].push_back({m_sizes[items[a]] + m_sizes[items[b]], a, b});
    }
  }
  const auto bySize = [](const struct Group& x, const struct Group& y) { return x.size < y.size; };
  for (std::vector<struct Group>& v : g.bySize) std::sort(v.begin(), v.end(), bySize);
}

// The largest group of `count` items of at most `limit` bytes, or null.
const struct Repacker::Group* Repacker::Largest(const Groups& g, int count, std::int64_t limit) {
  const std::vector<struct Group>& v = g.bySize[count];
  auto it =
      std::upper_bound(v.begin(), v.end(), limit, [](std::int64_t r, const struct Group& x) { return r < x.size; });
  return it == v.begin() ? nullptr : &*(it - 1);
}

// Moves group `out` of disc `d` to the pool and group `in` of the pool to disc `d`.
void Repacker::Exchange(int d, const struct Group& out, const struct Group& in, long long hold) {
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
bool Repacker::Swap(long long move, bool gainOnly) {
  Group(m_pool, kEveryItem, m_poolGroups);
  std::int64_t bestGain = 0;
  int bestDisc = -1, ties = 0;
  struct Group bestOut {
  }, bestIn{};
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
bool Repacker::Gather() {
  bool moved = false;
  for (bool again = true; again;) {
    again = false;
    for (int full = 0; full < static_cast<int>(m_discs.size()); ++full) {
      if (m_stop.load(std::memory_order_relaxed)) return moved;
      for (int other = 0; other < static_cast<int>(m_discs.size()); ++other) {
        if (other == full || m_load[other] > m_load[full] || (m_load[other] == m_load[full] && other < full)) continue;
        Group(m_discs[full], kEveryItem, m_discGroups);
        Group(m_discs[other], kEveryItem, m_otherGroups);
        const int fullCount = static_cast<int>(m_discs[full].size()),
                  otherCount = static_cast<int>(m_discs[other].size());
        std::int64_t best = 0;
        struct Group bestOut {
        }, bestIn{};
        for (int outCount = 0; outCount < 3; ++outCount) {
          for (const struct Group& out : m_discGroups.bySize[outCount]) {
            for (int inCount = 0; inCount < 3; ++inCount) {
              if (fullCount - outCount + inCount > m_maxPerDisc || otherCount - inCount + outCount > m_maxPerDisc)
                continue;
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
