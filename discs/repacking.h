#pragma once
// Repacking: a local search that moves the items of a plan around until they fit one disc fewer.

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "discs/disc_list.h"
#include "search/span.h"

/// Packs a plan's items into one disc fewer: the least filled disc is emptied into a pool, and a
/// tabu search (after Buljubasic and Vasquez's consistent neighbourhood search) swaps up to two
/// items of a disc for one or two of the pool whenever they fit, preferring the swap that moves
/// the most bytes into the discs. When no swap gains, items move between two discs towards the
/// fuller one, which gathers the free space on fewer discs, where the pool's items fit. An item
/// that came from the pool stays on its disc for a few moves, so no swap is undone at once; when
/// nothing gains, the best swap is taken all the same, which walks the search out of dead ends.
/// Done when the pool is empty.
class Repacker {
 public:
  Repacker(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_stop(stop), m_until(sizes.size(), 0) {}

  /// True with `plan` one disc shorter; false when `moves` ran out or the stop flag was set.
  bool Fewer(DiscList& plan, long long moves);

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

  void Group(const std::vector<int>& items, long long move, Groups& g) const;
  static const struct Group* Largest(const Groups& g, int count, std::int64_t limit);
  void Exchange(int d, const struct Group& out, const struct Group& in, long long hold);
  bool Swap(long long move, bool gainOnly);
  bool Gather();

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
