#include "discs/bin_completion.h"

#include <algorithm>
#include <cstddef>
#include <functional>

#include "discs/bounds.h"

Packer::Result Packer::Pack(int discs, DiscList& plan, long long nodes) {
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

// Opens a disc with the largest item left and completes it.
bool Packer::Fill(int discs, Wide waste, int spent) {
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

bool Packer::Complete(int from, std::int64_t room, int discs, Wide waste, int spent) {
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
    if (m_stopped) return false;
    // An item that fills the disc exactly can trade places with whatever else would fill it, in
    // a plan that puts it elsewhere. Under a file limit only one item may take its place there,
    // so the rule holds only for the disc's last place.
    if (m_sizes[i] == room && (!m_limited || static_cast<int>(m_discs.back().size()) + 1 == m_maxPerDisc)) return false;
  }
  // Close the disc: only when nothing left fits its free space, and that space is affordable.
  if (room > waste || (!full && m_left > 0 && Smallest() <= room) || Dominated(room)) return false;
  return Fill(discs - 1, waste - room, spent);
}

// Whether an item left for later discs could take the place of one or two of this disc's
// (all but its first, the largest left), filling it at least as well: then the plan with the
// swap is as good, and the search meets it elsewhere. Two for one adds an item to the other
// disc, which a file limit may forbid.
bool Packer::Dominated(std::int64_t room) const {
  const std::vector<int>& disc = m_discs.back();
  for (std::size_t a = 1; a < disc.size(); ++a) {
    if (Unused(m_sizes[disc[a]] + 1, m_sizes[disc[a]] + room)) return true;
    for (std::size_t b = a + 1; !m_limited && b < disc.size(); ++b) {
      const std::int64_t both = m_sizes[disc[a]] + m_sizes[disc[b]];
      if (Unused(both, both + room)) return true;
    }
  }
  return false;
}

// Whether an item not taken has a size from lo to hi.
bool Packer::Unused(std::int64_t lo, std::int64_t hi) const {
  auto i = std::lower_bound(m_sizes.begin(), m_sizes.end(), hi, std::greater<std::int64_t>()) - m_sizes.begin();
  for (; i < static_cast<std::ptrdiff_t>(m_sizes.size()) && m_sizes[i] >= lo; ++i) {
    if (!m_used[i]) return true;
  }
  return false;
}

std::int64_t Packer::Smallest() const {
  int i = static_cast<int>(m_sizes.size()) - 1;
  while (m_used[i]) --i;
  return m_sizes[i];
}
