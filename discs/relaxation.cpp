#include "discs/relaxation.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "discs/plan.h"
#include "search/byte_count.h"

namespace {

// A bound counts as proven only when it passes the integer below by more than rounding could.
constexpr double kMargin = 1e-6;
constexpr double kTiny = 1e-9;
// A set worth this much at the current duals is a good enough column to enter.
constexpr double kEnough = 1.3;

// The most valuable set of items that fits a disc, for values that never grow as sizes shrink
// (sizes in descending order): a 0-1 knapsack searched depth first, each level choosing the next
// item to take in size order. With such values, the largest items that fit are the most
// valuable, so a level is cut by two bounds: the values of as many items from here on as could
// still fit (the smallest ones decide how many), and the room times the best value per byte
// left. Both only fall further down the list, so the first cut ends the level; where one item is
// left to take, the first that fits is the best. Of items of one size and value, only the first
// is tried at a level.
class Pricer {
 public:
  Pricer(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, long long& nodes,
         const std::atomic<std::uint8_t>& stop)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_nodes(nodes), m_stop(stop) {
    const std::size_t n = sizes.size();
    m_smallest.assign(n + 1, 0);  // wide: the sum of many sizes near INT64_MAX
    for (std::size_t c = 1; c <= n; ++c) m_smallest[c] = m_smallest[c - 1] + sizes[n - c];
    m_prefix.resize(n + 1);
    m_perByte.resize(n + 1);
  }

  // The sets that passed the most valuable one found before them, in the order found (so the
  // last is the most valuable), and its value. False when the node budget or the stop flag cut
  // the search short, or when it ended at the first set worth more than `enough`.
  bool Best(const std::vector<double>& value, double enough, DiscList& found, double& bestValue) {
    const std::size_t n = m_sizes.size();
    m_value = &value;
    m_enough = enough;
    m_prefix[0] = 0;
    for (std::size_t i = 0; i < n; ++i) m_prefix[i + 1] = m_prefix[i] + value[i];
    m_perByte[n] = 0;
    for (std::size_t i = n; i-- > 0;) {
      m_perByte[i] = std::max(m_perByte[i + 1], m_sizes[i] > 0 ? value[i] / static_cast<double>(m_sizes[i]) : HUGE_VAL);
    }
    m_taken.clear();
    m_found = &found;
    found.clear();
    m_bestValue = 0;
    m_cut = false;
    Search(0, m_capacity, 0);
    bestValue = m_bestValue;
    return !m_cut;
  }

 private:
  void Keep(double v) {
    if (v <= m_bestValue) return;
    m_bestValue = v;
    m_found->push_back(m_taken);
    if (v > m_enough) m_cut = true;
  }

  void Search(int from, std::int64_t room, double v) {
    Keep(v);
    if (m_cut) return;
    if (--m_nodes < 0 || ((m_nodes & 1023) == 0 && m_stop.load(std::memory_order_relaxed))) {
      m_cut = true;
      return;
    }
    const int n = static_cast<int>(m_sizes.size());
    const int first = static_cast<int>(
        std::lower_bound(m_sizes.begin() + from, m_sizes.end(), room, std::greater<std::int64_t>()) - m_sizes.begin());
    // How many more items could fit: as many of the smallest as the room takes, within the limit.
    const int fit =
        std::min(m_maxPerDisc - static_cast<int>(m_taken.size()),
                 static_cast<int>(std::upper_bound(m_smallest.begin(), m_smallest.begin() + (n - first) + 1, room) -
                                  m_smallest.begin()) -
                     1);
    const std::vector<double>& value = *m_value;
    for (int i = first; fit > 0 && i < n; ++i) {
      if (i > first && m_sizes[i] == m_sizes[i - 1] && value[i] == value[i - 1]) continue;
      const double byCount = v + m_prefix[std::min(n, i + fit)] - m_prefix[i];
      const double byBytes = m_perByte[i] == HUGE_VAL ? HUGE_VAL : v + static_cast<double>(room) * m_perByte[i];
      if (std::min(byCount, byBytes) <= m_bestValue) break;
      m_taken.push_back(i);
      if (fit == 1) {
        Keep(v + value[i]);
      } else {
        Search(i + 1, room - m_sizes[i], v + value[i]);
      }
      m_taken.pop_back();
      if (m_cut || fit == 1) break;
    }
  }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  long long& m_nodes;
  const std::atomic<std::uint8_t>& m_stop;
  const std::vector<double>* m_value = nullptr;
  std::vector<__int128> m_smallest;  // the sum of the c smallest sizes, for each c
  std::vector<double> m_prefix, m_perByte;
  std::vector<int> m_taken;
  DiscList* m_found = nullptr;
  double m_bestValue = 0, m_enough = 0;
  bool m_cut = false;
};

}  // namespace

// A revised simplex on the set-partitioning form, one row an item, the basis inverse kept dense:
// the items are few (the plan's search runs it on at most a few hundred). Any duals y >= 0 prove
// the bound sum(y) / max(y of a set that fits) (Farley), so the bound holds wherever the search
// stops, provided the knapsack search that finds the maximum was complete. Besides the sets, the
// basis may hold exchanges: a set's item given up for a smaller one, which any set allows. Their
// columns keep the duals from rising as sizes shrink (Ben Amor, Desrosiers and Valerio de
// Carvalho's dual-optimal inequalities), which spares many degenerate pivots, and pricing takes
// the duals made so all the same, lowered where needed: lower duals still prove their bound.
// Each pricing keeps the sets it passed on its way to the best, which enter in turn while they
// are still worth more than a disc, so that one search serves several pivots.
Relaxation Relax(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const DiscList& start,
                 int known, long long& nodes, const std::atomic<std::uint8_t>& stop) {
  Relaxation out;
  const int m = static_cast<int>(sizes.size());
  if (m == 0) return out;
  // The start plan as a basis: each disc's set at its first item's row, its other items alone.
  // An exchange is kept as the smaller item's set with the larger item at `given`.
  std::vector<std::vector<int>> column(m);
  std::vector<int> given(m, -1);
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
  // The duals: the sum of the inverse's rows of the sets, kept up to date at each pivot.
  for (int r = 0; r < m; ++r) {
    for (int i = 0; i < m; ++i) y[i] += at(r, i);
  }
  Pricer pricer(sizes, capacity, maxPerDisc, nodes, stop);
  std::vector<double> priced(m);
  std::vector<int> entering;
  DiscList found;  // the sets the last pricing found, the most valuable last
  const auto worth = [&](const std::vector<int>& set) {
    double v = 0;
    for (int i : set) v += y[i];
    return v;
  };
  for (;;) {
    nodes -= m;
    // An exchange enters where a smaller item's dual passes a larger one's, the most first; else
    // a set of the last pricing still worth more than a disc; else the one a new pricing finds.
    int less = -1;
    for (int i = 0; i + 1 < m; ++i) {
      if (y[i + 1] - y[i] > (less < 0 ? kTiny : y[less + 1] - y[less])) less = i;
    }
    double reduced = 0;  // the entering column's cost less its value at the duals
    if (less >= 0) {
      entering = {less + 1};
      reduced = y[less] - y[less + 1];
    }
    while (less < 0 && reduced >= -kTiny && !found.empty()) {
      entering = std::move(found.back());
      found.pop_back();
      reduced = 1 - worth(entering);
    }
    if (less < 0 && reduced >= -kTiny) {
      for (int i = 0; i < m; ++i) priced[i] = std::max(y[i], 0.0);
      for (int i = 1; i < m; ++i) priced[i] = std::min(priced[i], priced[i - 1]);
      double most = 0;
      // The first set found worth well over one disc is enough to pivot on; when there is none, a
      // complete search finds the most valuable set, which proves the bound.
      bool exact = pricer.Best(priced, kEnough, found, most);
      if (!exact && most <= 1 + kTiny && nodes > 0 && !stop.load(std::memory_order_relaxed))
        exact = pricer.Best(priced, HUGE_VAL, found, most);
      double duals = 0, objective = 0;
      for (int i = 0; i < m; ++i) {
        duals += priced[i];
        if (given[i] < 0) objective += x[i];
      }
      if (exact && most > 0) out.bound = std::max(out.bound, static_cast<int>(std::ceil(duals / most - kMargin)));
      // Done at the optimum, when the relaxation cannot pass the known bound, when the start plan
      // is proven the fewest, or when cut short.
      if (exact && (most <= 1 + kTiny || std::ceil(objective - kMargin) <= std::max(known, out.bound) ||
                    out.bound >= static_cast<int>(start.size()))) {
        out.complete = true;
        break;
      }
      if (most <= 1 + kTiny) break;
      // Priced at duals lowered where needed, the set is worth at least as much at the true ones.
      entering = std::move(found.back());
      found.pop_back();
      reduced = 1 - worth(entering);
    }
    if (nodes < 0 || stop.load(std::memory_order_relaxed)) break;
    int leave = -1;
    for (int r = 0; r < m; ++r) {
      d[r] = less >= 0 ? -at(r, less) : 0;
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
    for (int i = 0; i < m; ++i) y[i] += reduced * at(leave, i);
    column[leave] = entering;
    given[leave] = less;
  }
  // The sets of the solution, most used first; rounded: those sets as long as they share no item,
  // then best fit.
  std::vector<int> used;
  for (int r = 0; r < m; ++r) {
    if (x[r] > kTiny && given[r] < 0) used.push_back(r);
  }
  std::sort(used.begin(), used.end(), [&](int a, int b) { return x[a] > x[b]; });
  std::vector<bool> placed(m, false);
  for (int r : used) {
    out.columns.push_back({x[r], column[r]});
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
  for (std::vector<int>& disc : BestFitDiscs(leftSizes, capacity, maxPerDisc)) {
    for (int& i : disc) i = left[i];
    out.discs.push_back(std::move(disc));
  }
  return out;
}
