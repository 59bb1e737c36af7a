#include "discs/diving.h"

#include <algorithm>

#include "discs/plan.h"
#include "discs/relaxation.h"

namespace {

// A set the solution takes this much of is taken whole.
constexpr double kWhole = 1 - 1e-9;

}  // namespace

Diver::Result Diver::Dive(int discs, DiscList& plan, long long nodes) {
  if (discs != m_discs) {
    m_discs = discs;
    m_pass = 0;
    m_exhausted = false;
  }
  if (m_exhausted) return kNotFound;
  m_nodes = nodes;
  m_stopped = false;
  std::vector<int> items(m_sizes.size());
  for (std::size_t i = 0; i < items.size(); ++i) items[i] = static_cast<int>(i);
  const DiscList start = BestFitDiscs(m_sizes, m_capacity, m_maxPerDisc);
  for (;; ++m_pass) {
    m_plan.clear();
    m_cut = false;
    if (Step(items, start, discs, m_pass)) {
      plan = m_plan;
      return kFound;
    }
    if (m_stopped) return kStopped;
    if (!m_cut) {
      m_exhausted = true;
      return kNotFound;
    }
  }
}

// Solves the relaxation of `items` (indices ascending) from the plan `start` (positions in
// `items`), and either ends the dive or makes discs of its sets and goes on with the items left.
bool Diver::Step(const std::vector<int>& items, const DiscList& start, int discs, int swerves) {
  if (items.empty()) return true;
  if (discs <= 0) return false;
  std::vector<std::int64_t> sizes;
  for (int i : items) sizes.push_back(m_sizes[i]);
  const Relaxation lp = Relax(sizes, m_capacity, m_maxPerDisc, start, discs, m_nodes, m_stop);
  if (!lp.complete) {
    m_stopped = true;
    return false;
  }
  if (lp.bound > discs) return false;
  const auto make = [&](const std::vector<int>& disc) {
    m_plan.emplace_back();
    for (int i : disc) m_plan.back().push_back(items[i]);
  };
  if (static_cast<int>(lp.discs.size()) <= discs) {
    for (const std::vector<int>& disc : lp.discs) make(disc);
    return true;
  }
  const std::size_t made = m_plan.size();
  for (std::size_t c = 0; c < lp.columns.size(); ++c) {
    if (c > 0 && swerves == 0) {
      m_cut = true;
      break;
    }
    // The set taken most (on the first branch with every other set taken whole), or another.
    std::vector<bool> taken(items.size(), false);
    const auto take = [&](const std::vector<int>& set) {
      if (std::any_of(set.begin(), set.end(), [&](int i) { return taken[i]; })) return;
      for (int i : set) taken[i] = true;
      make(set);
    };
    take(lp.columns[c].items);
    for (std::size_t o = 1; c == 0 && o < lp.columns.size() && lp.columns[o].share >= kWhole; ++o) {
      take(lp.columns[o].items);
    }
    // The items left, and what is left of the rounded plan to start from.
    std::vector<int> left, at(items.size(), -1);
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (taken[k]) continue;
      at[k] = static_cast<int>(left.size());
      left.push_back(items[k]);
    }
    DiscList next;
    for (const std::vector<int>& disc : lp.discs) {
      std::vector<int> rest;
      for (int i : disc) {
        if (!taken[i]) rest.push_back(at[i]);
      }
      if (!rest.empty()) next.push_back(std::move(rest));
    }
    const int used = static_cast<int>(m_plan.size() - made);
    if (Step(left, next, discs - used, swerves - (c > 0))) return true;
    m_plan.resize(made);
    if (m_stopped) return false;
  }
  return false;
}
