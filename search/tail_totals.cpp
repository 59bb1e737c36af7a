#include "search/tail_totals.h"

#include <algorithm>

namespace {

// The distinct totals of `kept` and of `shifted` plus x (both ascending and distinct), up to `limit`.
void MergeShifted(const std::vector<std::int64_t>& kept, const std::vector<std::int64_t>& shifted, std::int64_t x, std::int64_t limit,
                  std::vector<std::int64_t>& out) {
  out.clear();
  out.reserve(kept.size() + shifted.size());
  auto a = kept.begin();
  for (std::int64_t s : shifted) {
    if (s > limit - x) break;  // x is at most the limit: no overflow
    const std::int64_t t = s + x;
    while (a != kept.end() && *a < t) out.push_back(*a++);
    if (a != kept.end() && *a == t) ++a;
    out.push_back(t);
  }
  out.insert(out.end(), a, kept.end());
}

}  // namespace

TailTotals::TailTotals(Span<const std::int64_t> sizes, std::int64_t limit, int tableSize, int blockSize,
                       const std::atomic<std::uint8_t>& stop)
    : m_sizes(sizes), m_limit(limit), m_stop(stop), m_m(static_cast<int>(sizes.size())) {
  tableSize = std::clamp(tableSize, 0, m_m);
  blockSize = std::clamp(blockSize, 0, m_m - tableSize);
  m_tableFirst = m_m - tableSize;
  m_first = m_tableFirst - blockSize;
  m_prefix.assign(m_m - m_first + 1, 0);
  for (int i = m_first; i < m_m; ++i) m_prefix[i - m_first + 1] = m_prefix[i - m_first] + m_sizes[i];

  // Each table from the one after it: the totals without candidate j, and with it.
  m_tables.resize(tableSize + 1);
  m_tables[tableSize] = Lists{{0}};
  for (int j = m_m - 1; j >= m_tableFirst && !m_stopped; --j) {
    const Lists& next = m_tables[j + 1 - m_tableFirst];
    Lists& current = m_tables[j - m_tableFirst];
    current.resize(next.size() + 1);
    current[0] = {0};
    for (std::size_t c = 1; c < current.size(); ++c) {
      MergeShifted(c < next.size() ? next[c] : std::vector<std::int64_t>(), next[c - 1], m_sizes[j], m_limit, current[c]);
    }
    m_stopped = m_stop.load(std::memory_order_relaxed);
  }

  m_block.resize(blockSize + 1);
  m_block[0] = {0};
  std::vector<std::int64_t> merged;
  for (int item = 0; item < blockSize && !m_stopped; ++item) {
    for (int c = item + 1; c >= 1; --c) {
      MergeShifted(m_block[c], m_block[c - 1], m_sizes[m_first + item], m_limit, merged);
      m_block[c].swap(merged);
    }
    m_stopped = m_stop.load(std::memory_order_relaxed);
  }
}

int TailTotals::NextSize(int i) const {
  const std::int64_t size = m_sizes[i];
  do ++i;
  while (i < m_m && m_sizes[i] == size);
  return i;
}

bool TailTotals::InTable(int start, int r, std::int64_t total) const {
  const Lists& table = m_tables[start - m_tableFirst];
  return r < static_cast<int>(table.size()) && std::binary_search(table[r].begin(), table[r].end(), total);
}

// Pairs a block total with a table total. Both lists are cut to the band in which a partner can
// still exist; the shorter band is walked from its top and the longer one searched.
std::int64_t TailTotals::BestTotal(int r, std::int64_t low, std::int64_t high, std::uint64_t& work) const {
  std::int64_t best = low;
  const Lists& table = m_tables.front();
  const int tableSize = static_cast<int>(table.size()) - 1, blockSize = static_cast<int>(m_block.size()) - 1;
  for (int inBlock = std::max(0, r - tableSize); inBlock <= std::min(r, blockSize); ++inBlock) {
    ++work;
    const std::vector<std::int64_t>& x = m_block[inBlock];
    const std::vector<std::int64_t>& y = table[r - inBlock];
    if (x.empty() || y.empty() || x.back() <= best - y.back() || x.front() > high - y.front()) continue;
    const auto x0 = std::lower_bound(x.begin(), x.end(), best + 1 - y.back());
    const auto x1 = std::upper_bound(x0, x.end(), high - y.front());
    if (x0 == x1) continue;
    const auto y0 = std::lower_bound(y.begin(), y.end(), best + 1 - *(x1 - 1));
    const auto y1 = std::upper_bound(y0, y.end(), high - *x0);
    if (y0 == y1) continue;
    const bool walkX = x1 - x0 <= y1 - y0;
    const auto from = walkX ? x0 : y0, to = walkX ? x1 : y1;
    const auto other0 = walkX ? y0 : x0, other1 = walkX ? y1 : x1;
    for (auto it = to; it != from;) {
      const std::int64_t a = *--it;
      if (*(other1 - 1) <= best - a) break;  // smaller totals of this band cannot do better
      ++work;
      const auto partner = std::upper_bound(other0, other1, high - a);
      if (partner == other0) continue;
      best = std::max(best, a + *(partner - 1));
      if (best == high) return best;
    }
  }
  return best > low ? best : -1;
}

bool TailTotals::FirstCombination(int r, std::int64_t total, std::vector<int>& chosen) const {
  return !m_stopped && total >= 0 && Walk(m_first, r, total, chosen);
}

// Index order, with each branch decided before it is entered: inside the table a candidate is
// taken when the table after it holds the rest of the total; in the block, branches are left out
// by the largest and smallest totals the candidates after them can add.
bool TailTotals::Walk(int start, int r, std::int64_t total, std::vector<int>& chosen) const {
  if (r == 0) return total == 0;
  if ((++m_visits & 0xFFF) == 0 && m_stop.load(std::memory_order_relaxed)) m_stopped = true;
  if (m_stopped || start + r > m_m) return false;
  if (start >= m_tableFirst) {
    if (!InTable(start, r, total)) return false;
    for (int c = start; c <= m_m - r; c = NextSize(c)) {
      if (m_sizes[c] <= total && InTable(c + 1, r - 1, total - m_sizes[c])) {
        chosen.push_back(c);
        return Walk(c + 1, r - 1, total - m_sizes[c], chosen);
      }
    }
    return false;
  }
  if (total < Least(r) || total > Most(start, r)) return false;
  for (int c = start; c <= m_m - r; c = NextSize(c)) {
    if (m_sizes[c] + Least(r - 1) > total) continue;
    if (Most(c, r) < total) return false;
    chosen.push_back(c);
    if (Walk(c + 1, r - 1, total - m_sizes[c], chosen)) return true;
    chosen.pop_back();
    if (m_stopped) return false;
  }
  return false;
}
