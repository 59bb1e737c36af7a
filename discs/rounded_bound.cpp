#include "discs/rounded_bound.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "discs/dense_pivot.h"

namespace {

// A bound counts as proven only when it passes the integer below by more than rounding could.
constexpr double kMargin = 1e-6;
constexpr double kTiny = 1e-9;

// The most valuable set of the sizes (in grid units, with their counts) that fits the grid, by a
// knapsack over the grid; each size's copies split into powers of two, so that each piece is
// taken at most once.
class GridKnapsack {
 public:
  GridKnapsack(const std::vector<int>& weight, const std::vector<long long>& count, int grid) : m_grid(grid) {
    for (std::size_t i = 0; i < weight.size(); ++i) {
      long long left = std::min<long long>(count[i], grid / weight[i]);
      for (long long p = 1; left > 0; p *= 2) {
        const int take = static_cast<int>(std::min(p, left));
        m_pieces.push_back({static_cast<int>(i), take, take * weight[i]});
        left -= take;
      }
    }
    m_taken.assign(m_pieces.size() * (grid + 1), false);
    m_best.resize(grid + 1);
  }

  // The best value for `value` per copy, and the copies of each size it takes.
  double Best(const std::vector<double>& value, std::vector<int>& copies) {
    std::fill(m_best.begin(), m_best.end(), 0.0);
    for (std::size_t p = 0; p < m_pieces.size(); ++p) {
      const Piece& piece = m_pieces[p];
      const double v = value[piece.size] * piece.copies;
      if (v <= 0) continue;
      for (int room = m_grid; room >= piece.units; --room) {
        if (m_best[room - piece.units] + v > m_best[room]) {
          m_best[room] = m_best[room - piece.units] + v;
          m_taken[p * (m_grid + 1) + room] = true;
        } else {
          m_taken[p * (m_grid + 1) + room] = false;
        }
      }
      for (int room = 0; room < piece.units; ++room) m_taken[p * (m_grid + 1) + room] = false;
    }
    std::fill(copies.begin(), copies.end(), 0);
    int room = m_grid;
    for (std::size_t p = m_pieces.size(); p-- > 0;) {
      if (value[m_pieces[p].size] * m_pieces[p].copies <= 0 || !m_taken[p * (m_grid + 1) + room]) continue;
      copies[m_pieces[p].size] += m_pieces[p].copies;
      room -= m_pieces[p].units;
    }
    return m_best[m_grid];
  }

 private:
  struct Piece {
    int size, copies, units;
  };
  int m_grid;
  std::vector<Piece> m_pieces;
  std::vector<bool> m_taken;  // for each piece and room, whether the best at that room takes it
  std::vector<double> m_best;
};

}  // namespace

int RoundedDownBound(Span<const std::int64_t> sizes, std::int64_t capacity, int grid, long long pivots,
                     const std::atomic<std::uint8_t>& stop) {
  // The sizes in grid units, each with its count; sizes below one unit fit anywhere and drop out.
  std::map<int, long long, std::greater<int>> counts;
  for (std::int64_t s : sizes) {
    const int units = static_cast<int>(static_cast<__int128>(s) * grid / capacity);
    if (units > 0) ++counts[units];
  }
  const int m = static_cast<int>(counts.size());
  if (m == 0) return 0;
  std::vector<int> weight;
  std::vector<long long> count;
  for (const auto& [w, c] : counts) weight.push_back(w), count.push_back(c);
  // A revised simplex on min sum(x) over sets with at least count[i] copies of size i, the basis
  // inverse dense (a few hundred sizes), from the basis of each size alone as often as it fits.
  // Besides the sets, the basis may hold exchanges of a copy of one size for one of the next
  // smaller size, which cost nothing: they keep the duals from rising as sizes shrink, as the
  // relaxation of single items does, which spares most degenerate pivots.
  std::vector<double> inverse(static_cast<std::size_t>(m) * m, 0), x(m), y(m), column(m), priced(m), cost(m, 1);
  const auto at = [&](int r, int i) -> double& { return inverse[static_cast<std::size_t>(r) * m + i]; };
  for (int i = 0; i < m; ++i) {
    const int fits = grid / weight[i];
    at(i, i) = 1.0 / fits;
    x[i] = static_cast<double>(count[i]) / fits;
  }
  // The column of `copies` (of each size), at `price`, enters by the ratio test; false when none
  // leaves.
  const auto Pivot = [&](const std::vector<int>& copies, double price) {
    int leave = -1;
    for (int r = 0; r < m; ++r) {
      column[r] = 0;
      for (int i = 0; i < m; ++i) column[r] += at(r, i) * copies[i];
      x[r] = std::max(x[r], 0.0);
      if (column[r] > kTiny && (leave < 0 || x[r] * column[leave] < x[leave] * column[r])) leave = r;
    }
    if (leave < 0) return false;
    PivotDense(inverse, x, column, leave);
    cost[leave] = price;
    return true;
  };
  GridKnapsack knapsack(weight, count, grid);
  std::vector<int> copies(m);
  int bound = 0;
  for (long long pivot = 0; pivot <= pivots && !stop.load(std::memory_order_relaxed); ++pivot) {
    for (int i = 0; i < m; ++i) {
      y[i] = 0;
      for (int r = 0; r < m; ++r) y[i] += cost[r] * at(r, i);
    }
    // An exchange enters where a smaller size's dual passes the larger one's, the most first.
    int less = -1;
    for (int i = 0; i + 1 < m; ++i) {
      if (y[i + 1] - y[i] > (less < 0 ? kTiny : y[less + 1] - y[less])) less = i;
    }
    if (less >= 0) {
      std::fill(copies.begin(), copies.end(), 0);
      copies[less] = -1;
      copies[less + 1] = 1;
      if (!Pivot(copies, 0.0)) break;
      continue;
    }
    for (int i = 0; i < m; ++i) priced[i] = std::max(y[i], 0.0);
    for (int i = 1; i < m; ++i) priced[i] = std::min(priced[i], priced[i - 1]);
    const double most = knapsack.Best(priced, copies);
    double demand = 0;
    for (int i = 0; i < m; ++i) demand += static_cast<double>(count[i]) * priced[i];
    if (most > 0) bound = std::max(bound, static_cast<int>(std::ceil(demand / most - kMargin)));
    if (most <= 1 + kTiny) break;
    if (!Pivot(copies, 1.0)) break;
  }
  return bound;
}
