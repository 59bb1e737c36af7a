#include "discs/relaxation.h"

#include <algorithm>
#include <cmath>

#include "discs/plan.h"
#include "search/byte_count.h"

namespace {

// A bound counts as proven only when it passes the integer below by more than rounding could.
constexpr double kMargin = 1e-6;
constexpr double kTiny = 1e-9;
// A set worth this much at the current duals is a good enough column to enter.
constexpr double kEnough = 1.3;

// The most valuable set of items that fits a disc: a 0-1 knapsack searched depth first in the
// order of value per byte and cut by Dantzig's bound (the next items in that order while they
// fit, then a fraction of the first that does not).
class Pricer {
 public:
  Pricer(Span<const std::int64_t> sizes, std::int64_t capacity, long long& nodes, const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_nodes(nodes), m_stop(stop) {}

  // False when the node budget or the stop flag cut the search short, or when it ended at the
  // first set worth more than `enough`.
  bool Best(const std::vector<double>& value, double enough, std::vector<int>& best, double& bestValue) {
    m_value = &value;
    m_enough = enough;
    m_order.clear();
    for (std::size_t i = 0; i < m_sizes.size(); ++i) {
      if (value[i] > 0) m_order.push_back(static_cast<int>(i));
    }
    // Value per byte, without dividing: a file of 0 bytes comes first.
    std::sort(m_order.begin(), m_order.end(), [&](int a, int b) {
      return value[a] * static_cast<double>(m_sizes[b]) > value[b] * static_cast<double>(m_sizes[a]);
    });
    m_best.clear();
    m_bestValue = 0;
    m_cut = false;
    Search(0, m_capacity, 0);
    best = m_best;
    bestValue = m_bestValue;
    return !m_cut;
  }

 private:
  void Search(std::size_t k, std::int64_t room, double v) {
    if (v > m_bestValue) {
      m_bestValue = v;
      m_best = m_taken;
      if (v > m_enough) m_cut = true;
    }
    if (k == m_order.size() || m_cut) return;
    if (--m_nodes < 0 || ((m_nodes & 1023) == 0 && m_stop.load(std::memory_order_relaxed))) {
      m_cut = true;
      return;
    }
    const std::vector<double>& value = *m_value;
    double bound = v;
    std::int64_t left = room;
    std::size_t j = k;
    for (; j < m_order.size() && m_sizes[m_order[j]] <= left; ++j) {
      bound += value[m_order[j]];
      left -= m_sizes[m_order[j]];
    }
    if (j < m_order.size())
      bound += value[m_order[j]] * static_cast<double>(left) / static_cast<double>(m_sizes[m_order[j]]);
    if (bound <= m_bestValue) return;
    const int i = m_order[k];
    if (m_sizes[i] <= room) {
      m_taken.push_back(i);
      Search(k + 1, room - m_sizes[i], v + value[i]);
      m_taken.pop_back();
    }
    Search(k + 1, room, v);
  }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  long long& m_nodes;
  const std::atomic<std::uint8_t>& m_stop;
  const std::vector<double>* m_value = nullptr;
  std::vector<int> m_order, m_taken, m_best;
  double m_bestValue = 0, m_enough = 0;
  bool m_cut = false;
};

}  // namespace

// A revised simplex on the set-partitioning form, one row an item, the basis inverse kept dense:
// the items are few (the plan's search runs it on at most a few hundred). Any duals y >= 0 prove
// the bound sum(y) / max(y of a set that fits) (Farley), so the bound holds wherever the search
// stops, provided the knapsack search that finds the maximum was complete.
Relaxation Relax(Span<const std::int64_t> sizes, std::int64_t capacity, const std::vector<std::vector<int>>& start,
                 int known, long long nodes, const std::atomic<std::uint8_t>& stop) {
  Relaxation out;
  const int m = static_cast<int>(sizes.size());
  if (m == 0) return out;
  // The start plan as a basis: each disc's set at its first item's row, its other items alone.
  std::vector<std::vector<int>> column(m);
  std::vector<double> inverse(static_cast<std::size_t>(m) * m, 0), x(m, 0), y(m), d(m);
  const auto at = [&](int row, int item) -> double& { return inverse[static_cast<std::size_t>(row) * m + item]; };
  for (const std::vector<int>& disc : start) {
    const int head = disc.front();
    column[head] = disc;
    at(head, head) = 1;
    x[head] = 1;
    for (std::size_t k = 1; k < disc.size(); ++k) {
      column[disc[k]] = {disc[k]};
      at(disc[k], disc[k]) = 1;
      at(disc[k], head) = -1;
    }
  }
  // The duals: the sum of the inverse's rows, kept up to date at each pivot.
  for (int r = 0; r < m; ++r) {
    for (int i = 0; i < m; ++i) y[i] += at(r, i);
  }
  Pricer pricer(sizes, capacity, nodes, stop);
  std::vector<double> positive(m);
  std::vector<int> entering;
  for (;;) {
    for (int i = 0; i < m; ++i) positive[i] = std::max(y[i], 0.0);
    double most = 0;
    // The first set found worth well over one disc is enough to pivot on; when there is none, a
    // complete search finds the most valuable set, which proves the bound.
    bool exact = pricer.Best(positive, kEnough, entering, most);
    if (!exact && most <= 1 + kTiny && nodes > 0 && !stop.load(std::memory_order_relaxed))
      exact = pricer.Best(positive, HUGE_VAL, entering, most);
    double duals = 0, objective = 0;
    for (int i = 0; i < m; ++i) {
      duals += positive[i];
      objective += x[i];
    }
    if (exact && most > 0) out.bound = std::max(out.bound, static_cast<int>(std::ceil(duals / most - kMargin)));
    // Done at the optimum, when the relaxation cannot pass the known bound, when the start plan is
    // proven the fewest, or when cut short.
    if (exact && (most <= 1 + kTiny || std::ceil(objective - kMargin) <= std::max(known, out.bound) ||
                  out.bound >= static_cast<int>(start.size()))) {
      out.complete = true;
      break;
    }
    nodes -= m;
    if (most <= 1 + kTiny || nodes < 0 || stop.load(std::memory_order_relaxed)) break;
    int leave = -1;
    for (int r = 0; r < m; ++r) {
      d[r] = 0;
      for (int i : entering) d[r] += at(r, i);
      x[r] = std::max(x[r], 0.0);
      if (d[r] > kTiny &&
          (leave < 0 || x[r] * d[leave] < x[leave] * d[r] || (x[r] * d[leave] == x[leave] * d[r] && d[r] > d[leave])))
        leave = r;
    }
    if (leave < 0) break;
    const double pivot = d[leave];
    for (int i = 0; i < m; ++i) at(leave, i) /= pivot;
    x[leave] /= pivot;
    for (int r = 0; r < m; ++r) {
      if (r == leave || d[r] == 0) continue;
      for (int i = 0; i < m; ++i) at(r, i) -= d[r] * at(leave, i);
      x[r] -= d[r] * x[leave];
    }
    for (int i = 0; i < m; ++i) y[i] += (1 - most) * at(leave, i);
    column[leave] = entering;
  }
  // Rounded: the sets the solution uses most, as long as they share no item, then best fit.
  std::vector<int> used;
  for (int r = 0; r < m; ++r) {
    if (x[r] > kTiny) used.push_back(r);
  }
  std::sort(used.begin(), used.end(), [&](int a, int b) { return x[a] > x[b]; });
  std::vector<bool> placed(m, false);
  for (int r : used) {
    if (std::any_of(column[r].begin(), column[r].end(), [&](int i) { return placed[i]; })) continue;
    for (int i : column[r]) placed[i] = true;
    out.discs.push_back(column[r]);
  }
  std::vector<int> left;
  std::vector<std::int64_t> leftSizes;
  for (int i = 0; i < m; ++i) {
    if (placed[i]) continue;
    left.push_back(i);
    leftSizes.push_back(sizes[i]);
  }
  for (std::vector<int>& disc : BestFitDiscs(leftSizes, capacity, kNoFileLimit)) {
    for (int& i : disc) i = left[i];
    out.discs.push_back(std::move(disc));
  }
  return out;
}
