#include "discs/relaxation.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "discs/dense_pivot.h"
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
// is tried at a level. Under ties (values in any order, pairs kept apart, items of several
// files) the same search bounds a level by the most valuable item left instead, skips the items
// a taken one keeps out, and tries every item.
class Pricer {
 public:
  Pricer(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, long long& nodes,
         const std::atomic<std::uint8_t>& stop, const Ties* ties)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_nodes(nodes), m_stop(stop), m_ties(ties) {
    const std::size_t n = sizes.size();
    m_smallest.assign(n + 1, 0);  // wide: the sum of many sizes near INT64_MAX
    for (std::size_t c = 1; c <= n; ++c) m_smallest[c] = m_smallest[c - 1] + sizes[n - c];
    m_prefix.resize(n + 1);
    m_perByte.resize(n + 1);
    m_blocked.assign(n, 0);
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
    if (m_ties) {
      // The prefix sums serve as the most valuable item from each one on.
      m_prefix[n] = 0;
      for (std::size_t i = n; i-- > 0;) m_prefix[i] = std::max(m_prefix[i + 1], value[i]);
    }
    m_taken.clear();
    m_found = &found;
    found.clear();
    m_bestValue = 0;
    m_cut = false;
    if (m_ties) {
      SearchApart(0, m_capacity, 0, m_maxPerDisc);
    } else {
      Search(0, m_capacity, 0);
    }
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

  int Files(int i) const { return m_ties && !m_ties->files.empty() ? m_ties->files[i] : 1; }

  // Keeps out (by +1) or lets back (by -1) the items that may not share a disc with item i.
  void Block(int i, int by) {
    if (m_ties->apart.empty()) return;
    for (int j : m_ties->apart[i]) m_blocked[j] += by;
  }

  // Keeps the set taken so far, counts the node, and gives the first item from `from` on that
  // fits the room and how many more items could fit: as many of the smallest as the room takes,
  // within `filesLeft`. False when the search ends here.
  bool Enter(int from, std::int64_t room, double v, int filesLeft, int& first, int& fit) {
    Keep(v);
    if (m_cut) return false;
    if (--m_nodes < 0 || ((m_nodes & 1023) == 0 && m_stop.load(std::memory_order_relaxed))) {
      m_cut = true;
      return false;
    }
    const int n = static_cast<int>(m_sizes.size());
    first = static_cast<int>(
        std::lower_bound(m_sizes.begin() + from, m_sizes.end(), room, std::greater<std::int64_t>()) - m_sizes.begin());
    fit = std::min(filesLeft,
                   static_cast<int>(std::upper_bound(m_smallest.begin(), m_smallest.begin() + (n - first) + 1, room) -
                                    m_smallest.begin()) -
                       1);
    return true;
  }

  double ByBytes(int i, std::int64_t room, double v) const {
    return m_perByte[i] == HUGE_VAL ? HUGE_VAL : v + static_cast<double>(room) * m_perByte[i];
  }

  void Search(int from, std::int64_t room, double v) {
    int first = 0, fit = 0;
    if (!Enter(from, room, v, m_maxPerDisc - static_cast<int>(m_taken.size()), first, fit)) return;
    const int n = static_cast<int>(m_sizes.size());
    const std::vector<double>& value = *m_value;
    for (int i = first; fit > 0 && i < n; ++i) {
      if (i > first && m_sizes[i] == m_sizes[i - 1] && value[i] == value[i - 1]) continue;
      const double byCount = v + m_prefix[std::min(n, i + fit)] - m_prefix[i];
      if (std::min(byCount, ByBytes(i, room, v)) <= m_bestValue) break;
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

  // The search under ties, where m_prefix holds the most valuable item from each one on.
  void SearchApart(int from, std::int64_t room, double v, int filesLeft) {
    int first = 0, fit = 0;
    if (!Enter(from, room, v, filesLeft, first, fit)) return;
    const int n = static_cast<int>(m_sizes.size());
    const std::vector<double>& value = *m_value;
    for (int i = first; fit > 0 && i < n; ++i) {
      if (std::min(v + fit * m_prefix[i], ByBytes(i, room, v)) <= m_bestValue) break;
      if (m_blocked[i] || value[i] <= 0 || Files(i) > filesLeft) continue;
      m_taken.push_back(i);
      Block(i, 1);
      SearchApart(i + 1, room - m_sizes[i], v + value[i], filesLeft - Files(i));
      Block(i, -1);
      m_taken.pop_back();
      if (m_cut) break;
    }
  }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  long long& m_nodes;
  const std::atomic<std::uint8_t>& m_stop;
  const Ties* m_ties;
  const std::vector<double>* m_value = nullptr;
  std::vector<__int128> m_smallest;  // the sum of the c smallest sizes, for each c
  std::vector<double> m_prefix, m_perByte;
  std::vector<int> m_taken, m_blocked;
  DiscList* m_found = nullptr;
  double m_bestValue = 0, m_enough = 0;
  bool m_cut = false;
};

// A revised simplex on the set-partitioning form, one row an item, the basis inverse kept dense:
// the items are few (the plan's search runs it on at most a few hundred). Any duals y >= 0 prove
// the bound sum(y) / max(y of a set that fits) (Farley), so the bound holds wherever the search
// stops, provided the knapsack search that finds the maximum was complete. Besides the sets, the
// basis may hold exchanges: a set's item given up for a smaller one, which any set allows. Their
// columns keep the duals from rising as sizes shrink (Ben Amor, Desrosiers and Valerio de
// Carvalho's dual-optimal inequalities), which spares many degenerate pivots, and pricing takes
// the duals made so all the same, lowered where needed: lower duals still prove their bound.
// Each pricing keeps the sets it passed on its way to the best, which enter in turn while they
// are still worth more than a disc, so that one search serves several pivots. Under ties there
// are no exchanges, so that the solution's sets share no item, and the sets of the caller's pool
// are tried before each pricing.
class ColumnGeneration {
 public:
  ColumnGeneration(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, long long& nodes,
                   const std::atomic<std::uint8_t>& stop, const Ties* ties)
      : m_sizes(sizes), m_capacity(capacity), m_maxPerDisc(maxPerDisc), m_items(static_cast<int>(sizes.size())),
        m_nodes(nodes), m_stop(stop), m_ties(ties), m_column(m_items), m_given(m_items, -1),
        m_inverse(static_cast<std::size_t>(m_items) * m_items, 0), m_x(m_items, 0), m_y(m_items, 0), m_d(m_items),
        m_pricer(sizes, capacity, maxPerDisc, nodes, stop, ties), m_priced(m_items) {}

  // The start plan as a basis: each disc's set at its first item's row, its other items alone.
  // An exchange is kept as the smaller item's set with the larger item at `given`.
  void StartFrom(const DiscList& start) {
    for (const std::vector<int>& disc : start) {
      const int head = disc.front();
      m_column[head] = disc;
      At(head, head) = 1;
      m_x[head] = 1;
      for (std::size_t k = 1; k < disc.size(); ++k) {
        m_column[disc[k]] = {disc[k]};
        At(disc[k], disc[k]) = 1;
        At(disc[k], head) = -1;
      }
    }
    // The duals: the sum of the inverse's rows of the sets, kept up to date at each pivot.
    for (int r = 0; r < m_items; ++r) {
      for (int i = 0; i < m_items; ++i) m_y[i] += At(r, i);
    }
  }

  // Pivots until the optimum, the known bound, the start plan proven, or the budget or the stop
  // flag; `out` gets the bound proven and whether the relaxation ended.
  void Solve(int known, int startDiscs, Relaxation& out) {
    for (;;) {
      m_nodes -= m_items;
      std::vector<int> entering;
      int less = -1;
      double reduced = 0;
      if (!Entering(known, startDiscs, out, entering, less, reduced)) break;
      if (m_nodes < 0 || m_stop.load(std::memory_order_relaxed) || !Pivot(entering, less, reduced)) break;
    }
  }

  // The sets of the solution, most used first; rounded: those sets as long as they share no item,
  // then best fit.
  void Round(Relaxation& out) const {
    std::vector<int> used;
    for (int r = 0; r < m_items; ++r) {
      if (m_x[r] > kTiny && m_given[r] < 0) used.push_back(r);
    }
    std::sort(used.begin(), used.end(), [&](int a, int b) { return m_x[a] > m_x[b]; });
    std::vector<bool> placed(m_items, false);
    for (int r : used) {
      out.columns.push_back({m_x[r], m_column[r]});
      if (std::any_of(m_column[r].begin(), m_column[r].end(), [&](int i) { return placed[i]; })) continue;
      for (int i : m_column[r]) placed[i] = true;
      out.discs.push_back(m_column[r]);
    }
    std::vector<int> left;
    std::vector<std::int64_t> leftSizes;
    for (int i = 0; i < m_items; ++i) {
      if (placed[i]) continue;
      left.push_back(i);
      leftSizes.push_back(m_sizes[i]);
    }
    if (m_ties) {
      for (std::vector<int>& disc : FirstFitApart(left, m_sizes, m_capacity, m_maxPerDisc, *m_ties))
        out.discs.push_back(std::move(disc));
      return;
    }
    for (std::vector<int>& disc : BestFitDiscs(leftSizes, m_capacity, m_maxPerDisc)) {
      for (int& i : disc) i = left[i];
      out.discs.push_back(std::move(disc));
    }
  }

 private:
  double& At(int row, int item) { return m_inverse[static_cast<std::size_t>(row) * m_items + item]; }
  double At(int row, int item) const { return m_inverse[static_cast<std::size_t>(row) * m_items + item]; }

  double Worth(const std::vector<int>& set) const {
    double v = 0;
    for (int i : set) v += m_y[i];
    return v;
  }

  // The column to enter: an exchange where a smaller item's dual passes a larger one's, the most
  // first; else a set of the last pricing still worth more than a disc; else the one a new
  // pricing finds. False when none is worth entering (the relaxation ended, `out` tells how).
  bool Entering(int known, int startDiscs, Relaxation& out, std::vector<int>& entering, int& less, double& reduced) {
    for (int i = 0; !m_ties && i + 1 < m_items; ++i) {
      if (m_y[i + 1] - m_y[i] > (less < 0 ? kTiny : m_y[less + 1] - m_y[less])) less = i;
    }
    if (less >= 0) {
      entering = {less + 1};
      reduced = m_y[less] - m_y[less + 1];
      return true;
    }
    while (reduced >= -kTiny && !m_found.empty()) {
      entering = Found();
      reduced = 1 - Worth(entering);
    }
    if (reduced < -kTiny || FromPool(entering, reduced)) return true;
    for (int i = 0; i < m_items; ++i) m_priced[i] = std::max(m_y[i], 0.0);
    for (int i = 1; !m_ties && i < m_items; ++i) m_priced[i] = std::min(m_priced[i], m_priced[i - 1]);
    double most = 0;
    // The first set found worth well over one disc is enough to pivot on; when there is none, a
    // complete search finds the most valuable set, which proves the bound.
    bool exact = m_pricer.Best(m_priced, kEnough, m_found, most);
    if (!exact && most <= 1 + kTiny && m_nodes > 0 && !m_stop.load(std::memory_order_relaxed))
      exact = m_pricer.Best(m_priced, HUGE_VAL, m_found, most);
    double duals = 0, objective = 0;
    for (int i = 0; i < m_items; ++i) {
      duals += m_priced[i];
      if (m_given[i] < 0) objective += m_x[i];
    }
    if (exact && most > 0) out.bound = std::max(out.bound, static_cast<int>(std::ceil(duals / most - kMargin)));
    // Done at the optimum, when the relaxation cannot pass the known bound, when the start plan
    // is proven the fewest, or when cut short.
    if (exact && (most <= 1 + kTiny || std::ceil(objective - kMargin) <= std::max(known, out.bound) ||
                  out.bound >= startDiscs)) {
      out.complete = true;
      return false;
    }
    if (most <= 1 + kTiny) return false;
    // Priced at duals lowered where needed, the set is worth at least as much at the true ones.
    entering = Found();
    reduced = 1 - Worth(entering);
    return true;
  }

  // The last set the pricing found, which joins the pool.
  std::vector<int> Found() {
    std::vector<int> set = std::move(m_found.back());
    m_found.pop_back();
    if (m_ties && m_ties->pool) m_ties->pool->push_back(set);
    return set;
  }

  // The pool's set worth the most, where that is more than a disc.
  bool FromPool(std::vector<int>& entering, double& reduced) const {
    if (!m_ties || !m_ties->pool) return false;
    const std::vector<int>* best = nullptr;
    double most = 1 + kTiny;
    for (const std::vector<int>& set : *m_ties->pool) {
      const double worth = Worth(set);
      if (worth > most) most = worth, best = &set;
    }
    if (!best) return false;
    entering = *best;
    reduced = 1 - most;
    return true;
  }

  // The entering column into the basis, by the ratio test; false when none leaves.
  bool Pivot(const std::vector<int>& entering, int less, double reduced) {
    int leave = -1;
    for (int r = 0; r < m_items; ++r) {
      m_d[r] = less >= 0 ? -At(r, less) : 0;
      for (int i : entering) m_d[r] += At(r, i);
      m_x[r] = std::max(m_x[r], 0.0);
      if (m_d[r] > kTiny && (leave < 0 || m_x[r] * m_d[leave] < m_x[leave] * m_d[r] ||
                             (m_x[r] * m_d[leave] == m_x[leave] * m_d[r] && m_d[r] > m_d[leave])))
        leave = r;
    }
    if (leave < 0) return false;
    PivotDense(m_inverse, m_x, m_d, leave);
    for (int i = 0; i < m_items; ++i) m_y[i] += reduced * At(leave, i);
    m_column[leave] = entering;
    m_given[leave] = less;
    return true;
  }

  Span<const std::int64_t> m_sizes;
  std::int64_t m_capacity;
  int m_maxPerDisc;
  const int m_items;
  long long& m_nodes;
  const std::atomic<std::uint8_t>& m_stop;
  const Ties* m_ties;
  std::vector<std::vector<int>> m_column;
  std::vector<int> m_given;
  std::vector<double> m_inverse, m_x, m_y, m_d;  // the basis inverse, the solution, the duals, a column
  Pricer m_pricer;
  std::vector<double> m_priced;
  DiscList m_found;  // the sets the last pricing found, the most valuable last
};

}  // namespace

Relaxation Relax(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc, const DiscList& start,
                 int known, long long& nodes, const std::atomic<std::uint8_t>& stop, const Ties* ties) {
  Relaxation out;
  if (sizes.empty()) return out;
  ColumnGeneration lp(sizes, capacity, maxPerDisc, nodes, stop, ties);
  lp.StartFrom(start);
  lp.Solve(known, static_cast<int>(start.size()), out);
  lp.Round(out);
  return out;
}

DiscList FirstFitApart(const std::vector<int>& items, Span<const std::int64_t> sizes, std::int64_t capacity,
                       int maxPerDisc, const Ties& ties) {
  DiscList discs;
  std::vector<std::int64_t> room;
  std::vector<int> files;
  std::vector<std::vector<bool>> keptOut;  // for each disc, the items its own keep out
  const std::size_t n = sizes.size();
  for (int i : items) {
    const int f = ties.files.empty() ? 1 : ties.files[i];
    std::size_t d = 0;
    while (d < discs.size() && (room[d] < sizes[i] || files[d] > maxPerDisc - f || keptOut[d][i])) ++d;
    if (d == discs.size()) {
      discs.emplace_back();
      room.push_back(capacity);
      files.push_back(0);
      keptOut.emplace_back(n, false);
    }
    discs[d].push_back(i);
    room[d] -= sizes[i];
    files[d] += f;
    if (!ties.apart.empty()) {
      for (int j : ties.apart[i]) keptOut[d][j] = true;
    }
  }
  return discs;
}
