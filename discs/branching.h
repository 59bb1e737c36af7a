#pragma once
// Branch and price: the exact search over the linear relaxation for a plan of a given number of
// discs.

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "discs/disc_list.h"
#include "search/span.h"

/// Branch and price with Ryan and Foster's branching. At each node the relaxation
/// (discs/relaxation.h) is solved over the items with the pairs tied together merged into one and
/// the pairs kept apart never in one set. Either it proves the node holds no plan of `discs`
/// discs, or its rounded plan is one, or the pair of items its solution puts together closest to
/// half the time splits the node in two: the pair together, then the pair apart. Every plan
/// keeps a pair either together or apart, so the two nodes hold every plan of theirs. Nodes are
/// searched depth first, and each tries first the sets any node priced that keep its ties.
class Brancher {
 public:
  enum Result { kFound, kImpossible, kUnsettled, kStopped };

  Brancher(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_stop(stop) {}

  /// kFound with `plan` of at most `discs` discs; kImpossible when there is no such plan;
  /// kUnsettled when the search ended without either (a node it could not split); kStopped when
  /// `nodes` knapsack nodes or the stop flag ran out first.
  Result Search(int discs, DiscList& plan, long long nodes);

 private:
  struct Groups;
  bool Node();
  bool Tie(Groups& at) const;
  DiscList PoolAt(const Groups& at) const;
  int Leader(int i) const;
  void Found(const std::vector<std::vector<int>>& members, const DiscList& discs);

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  const std::atomic<std::uint8_t>& m_stop;
  int m_discs = 0;
  long long m_nodes = 0;
  std::vector<int> m_leader;                 // each item's link toward its group's leader
  std::vector<std::pair<int, int>> m_apart;  // pairs of items kept apart
  DiscList m_pool;                           // sets priced so far, of items
  DiscList m_plan;
  bool m_stopped = false, m_unsettled = false;
};
