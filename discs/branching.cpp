#include "discs/branching.h"

#include <algorithm>
#include <numeric>

#include "discs/relaxation.h"

namespace {

// A pair the solution puts together for less than this share, or for more than 1 less it, is
// not split by it.
constexpr double kSplit = 1e-6;
// Past this many sets the pool forgets its older half: each node reads all of it at each pivot.
constexpr std::size_t kPoolSets = 20'000;

}  // namespace

Brancher::Result Brancher::Search(int discs, DiscList& plan, long long nodes) {
  m_discs = discs;
  m_nodes = nodes;
  m_leader.resize(m_sizes.size());
  std::iota(m_leader.begin(), m_leader.end(), 0);
  m_apart.clear();
  m_plan.clear();
  m_stopped = m_unsettled = false;
  if (Node()) {
    plan = m_plan;
    return kFound;
  }
  return m_stopped ? kStopped : m_unsettled ? kUnsettled : kImpossible;
}

int Brancher::Leader(int i) const {
  while (m_leader[i] != i) i = m_leader[i];
  return i;
}

// The items of a node: the groups of items tied together, largest first, with the pairs of groups
// kept apart.
struct Brancher::Groups {
  std::vector<std::vector<int>> members;
  std::vector<std::int64_t> sizes;
  std::vector<int> of;  // each item's group
  Ties ties;
};

// The node's groups; false when one of them fits no disc or holds a pair kept apart.
bool Brancher::Tie(Groups& at) const {
  const int n = static_cast<int>(m_sizes.size());
  std::vector<int> groupOf(n, -1);
  std::vector<std::vector<int>> members;
  for (int i = 0; i < n; ++i) {
    const int leader = Leader(i);
    if (groupOf[leader] < 0) {
      groupOf[leader] = static_cast<int>(members.size());
      members.emplace_back();
    }
    members[groupOf[leader]].push_back(i);
  }
  std::vector<std::int64_t> total(members.size(), 0);
  for (std::size_t g = 0; g < members.size(); ++g) {
    for (int i : members[g]) total[g] += m_sizes[i];
    if (total[g] > m_capacity || static_cast<int>(members[g].size()) > m_maxPerDisc) return false;
  }
  std::vector<int> order(members.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return total[a] > total[b]; });
  const int m = static_cast<int>(members.size());
  at.members.resize(m);
  at.sizes.resize(m);
  at.of.resize(n);
  at.ties.files.resize(m);
  at.ties.apart.resize(m);
  for (int k = 0; k < m; ++k) {
    at.members[k] = std::move(members[order[k]]);
    at.sizes[k] = total[order[k]];
    at.ties.files[k] = static_cast<int>(at.members[k].size());
    for (int i : at.members[k]) at.of[i] = k;
  }
  for (const auto& [a, b] : m_apart) {
    if (at.of[a] == at.of[b]) return false;
    at.ties.apart[at.of[a]].push_back(at.of[b]);
    at.ties.apart[at.of[b]].push_back(at.of[a]);
  }
  return true;
}

// The pool's sets that keep the node's ties, as sets of its groups.
DiscList Brancher::PoolAt(const Groups& at) const {
  DiscList pool;
  std::vector<int> seen(at.members.size(), 0);
  for (const std::vector<int>& set : m_pool) {
    std::vector<int> groups;
    for (int i : set) {
      if (seen[at.of[i]]++ == 0) groups.push_back(at.of[i]);
    }
    bool keeps = std::all_of(groups.begin(), groups.end(),
                             [&](int g) { return seen[g] == static_cast<int>(at.members[g].size()); });
    for (std::size_t k = 0; keeps && k < groups.size(); ++k) {
      for (int h : at.ties.apart[groups[k]]) keeps = keeps && seen[h] == 0;
    }
    for (int g : groups) seen[g] = 0;
    if (!keeps) continue;
    std::sort(groups.begin(), groups.end());
    pool.push_back(std::move(groups));
  }
  return pool;
}

namespace {

// The pair of groups the solution puts together closest to half the time; false when every pair
// is together always or never.
bool Split(const Relaxation& lp, int groups, int& first, int& second) {
  const auto at = [groups](int a, int b) { return static_cast<std::size_t>(a) * groups + b; };
  std::vector<double> together(static_cast<std::size_t>(groups) * groups, 0);
  for (const Relaxation::Column& column : lp.columns) {
    for (std::size_t a = 0; a < column.items.size(); ++a) {
      for (std::size_t b = a + 1; b < column.items.size(); ++b)
        together[at(column.items[a], column.items[b])] += column.share;
    }
  }
  double nearest = kSplit;
  first = second = -1;
  for (int a = 0; a < groups; ++a) {
    for (int b = a + 1; b < groups; ++b) {
      const double w = together[at(a, b)];
      if (std::min(w, 1 - w) > nearest) nearest = std::min(w, 1 - w), first = a, second = b;
    }
  }
  return first >= 0;
}

}  // namespace

// The plan of items from a plan of groups.
void Brancher::Found(const std::vector<std::vector<int>>& members, const DiscList& discs) {
  m_plan.clear();
  for (const std::vector<int>& disc : discs) {
    m_plan.emplace_back();
    for (int g : disc) m_plan.back().insert(m_plan.back().end(), members[g].begin(), members[g].end());
    std::sort(m_plan.back().begin(), m_plan.back().end());
  }
}

// True with m_plan when the node holds a plan of m_discs discs.
bool Brancher::Node() {
  if (m_stop.load(std::memory_order_relaxed) || m_nodes < 0) {
    m_stopped = true;
    return false;
  }
  Groups at;
  if (!Tie(at)) return false;
  DiscList pool = PoolAt(at);
  const std::size_t known = pool.size();
  at.ties.pool = &pool;
  std::vector<int> all(at.members.size());
  std::iota(all.begin(), all.end(), 0);
  const DiscList start = FirstFitApart(all, at.sizes, m_capacity, m_maxPerDisc, at.ties);
  if (static_cast<int>(start.size()) <= m_discs) {
    Found(at.members, start);
    return true;
  }
  const Relaxation lp = Relax(at.sizes, m_capacity, m_maxPerDisc, start, m_discs, m_nodes, m_stop, &at.ties);
  // The sets priced here join the pool, as sets of items.
  for (std::size_t k = known; k < pool.size(); ++k) {
    m_pool.emplace_back();
    for (int g : pool[k]) m_pool.back().insert(m_pool.back().end(), at.members[g].begin(), at.members[g].end());
  }
  if (m_pool.size() > kPoolSets) m_pool.erase(m_pool.begin(), m_pool.begin() + kPoolSets / 2);
  if (!lp.complete) {
    m_stopped = true;
    return false;
  }
  if (lp.bound > m_discs) return false;
  if (static_cast<int>(lp.discs.size()) <= m_discs) {
    Found(at.members, lp.discs);
    return true;
  }
  int first = 0, second = 0;
  if (!Split(lp, static_cast<int>(at.members.size()), first, second)) {
    m_unsettled = true;
    return false;
  }
  const int a = at.members[first].front(), b = at.members[second].front();
  const int leaderB = Leader(b);
  m_leader[leaderB] = Leader(a);
  const bool together = Node();
  m_leader[leaderB] = leaderB;
  if (together || m_stopped) return together;
  m_apart.emplace_back(a, b);
  const bool apart = Node();
  m_apart.pop_back();
  return apart;
}
