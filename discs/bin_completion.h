#pragma once
// The exact search for a plan of a given number of discs, which finds one or proves that there
// is none.

#include <atomic>
#include <cstdint>
#include <vector>

#include "discs/disc_list.h"
#include "search/span.h"

/// Bin completion: the discs are filled one at a time, each starting with the largest item left
/// and completed by a set of the items after it, fuller completions first. The space a plan of
/// `discs` discs may leave empty is fixed by the total, and each closed disc spends its free
/// space from it, which cuts most branches early. Rules keep only undominated completions: a
/// disc is closed only when no item left fits in its free space (else adding the item is never
/// worse), an item that fills the disc exactly is the only one tried there, and a disc is not
/// closed where an item left could replace one or two of its own and fill it as well; under a
/// file limit the last two hold only where no disc would get more items than before. Among
/// items of one size, only the first not taken is tried at each step. The search runs in passes
/// of limited discrepancy: pass k takes at most k times an item other than the largest that
/// fits, so plans close to the greedy one come first; a pass the limit never cut settles the
/// question.
class Packer {
 public:
  enum Result { kFound, kImpossible, kStopped };

  Packer(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc),
        m_limited(static_cast<std::size_t>(maxPerDisc) < sizes.size()), m_stop(stop), m_used(sizes.size(), false) {}

  /// kStopped also when more than `nodes` nodes were visited.
  Result Pack(int discs, DiscList& plan, long long nodes);

 private:
  using Wide = __int128;  // sums of many sizes near INT64_MAX

  bool Fill(int discs, Wide waste, int spent);
  bool Complete(int from, std::int64_t room, int discs, Wide waste, int spent);
  bool Dominated(std::int64_t room) const;
  bool Unused(std::int64_t lo, std::int64_t hi) const;
  std::int64_t Smallest() const;
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
  bool m_limited;  // the file limit may bind: some dominance rules then do not hold
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
