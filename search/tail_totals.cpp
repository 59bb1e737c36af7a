#include "search/tail_totals.h"

#include <algorithm>

#include "search/sorted_search.h"

namespace {

// The table takes half the candidates at most: two lists of half the candidates each are built in
// a fraction of the time one list of them all takes (each candidate added merges every total
// listed so far), and a question pairs them.
int TableMost(int candidates) { return (candidates + 1) / 2; }

std::size_t Binomial(int n, int k) {
  double c = 1;
  for (int i = 0; i < k; ++i) c = c * (n - i) / (i + 1);
  return static_cast<std::size_t>(c + 0.5);
}

// How many of the first `added` totals of `shorter`, each plus x, are not in `totals` (both sorted).
std::ptrdiff_t Fresh(const std::vector<std::int64_t>& totals, const std::vector<std::int64_t>& shorter,
                     std::ptrdiff_t added, std::int64_t x) {
  std::ptrdiff_t fresh = 0;
  auto at = totals.begin();
  for (std::ptrdiff_t k = 0; k < added; ++k) {
    const std::int64_t t = shorter[k] + x;
    while (at != totals.end() && *at < t) ++at;
    fresh += at == totals.end() || *at != t;
  }
  return fresh;
}

}  // namespace

TailTotals::TailTotals(Span<const std::int64_t> sizes, std::int64_t limit, int mostCandidates, std::size_t mostTotals,
                       const std::atomic<std::uint8_t>& stop)
    : m_sizes(sizes), m_limit(limit), m_stop(stop), m_m(static_cast<int>(sizes.size())) {
  mostCandidates = std::clamp(mostCandidates, 0, kMostCandidates);
  m_tableFirst = Build(m_table, m_m, std::min(mostCandidates, TableMost(m_m)), mostTotals);
  // Where the table's totals do not repeat, the block's are taken to repeat seldom too: its subsets
  // then tell how many candidates it takes before it is built, and it is built from its largest.
  const bool repeats = std::any_of(m_table.begin(), m_table.end(), [](const Level& l) { return l.repeats; });
  if (repeats) {
    m_first = Build(m_block, m_tableFirst, mostCandidates, mostTotals);
  } else {
    m_first = EstimatedFirst(sizes, limit, m_tableFirst, mostCandidates, mostTotals);
    BuildForward(m_block, m_first, m_tableFirst);
  }
  m_prefix.assign(m_m - m_first + 1, 0);
  for (int i = m_first; i < m_m; ++i) m_prefix[i - m_first + 1] = m_prefix[i - m_first] + m_sizes[i];
}

// Takes the candidates before `to` from the last backwards, so that a total already listed keeps
// its later start, while the next one cannot take the lists beyond `mostTotals` (each candidate
// at most doubles them). With distinct sizes that is a fixed number of candidates, and each
// level gets its final capacity at once: merged in place from its end, its memory is touched
// once. Equal or nearly equal sizes give few distinct totals and let more candidates in.
int TailTotals::Build(Levels& levels, int to, int mostCandidates, std::size_t mostTotals) {
  int distinct = 0;
  while ((std::size_t{2} << distinct) <= mostTotals) ++distinct;
  distinct = std::min({distinct, mostCandidates, to});
  levels.assign(1, Level());
  levels[0].totals.push_back(0);
  levels[0].starts.push_back(static_cast<Start>(m_m - to));
  std::size_t listed = 1;
  int j = to;
  while (j > 0 && to - j < mostCandidates && listed * 2 <= mostTotals && !m_stopped) {
    --j;
    const std::int64_t x = m_sizes[j];
    const int start = m_m - j;
    const int taken = to - j;
    levels.emplace_back();
    if (taken <= distinct) {
      levels.back().totals.reserve(Binomial(distinct, taken));
      levels.back().starts.reserve(Binomial(distinct, taken));
    }
    for (int c = taken; c >= 1; --c) {
      const std::vector<std::int64_t>& shorter = levels[c - 1].totals;
      // x is at most the limit: no overflow
      const auto added = std::upper_bound(shorter.begin(), shorter.end(), m_limit - x) - shorter.begin();
      listed += Merge(levels[c], levels[c - 1], added, x, start, false);
    }
    m_stopped = m_stop.load(std::memory_order_relaxed);
  }
  return j;
}

// Takes the candidates from `from` up to `to`, each merged into the subsets of the ones before it.
// Where the limit leaves out most subsets of the larger candidates, each one taken from the end
// adds few totals and moves nearly all listed before; taken from the largest on, the lists stay
// small until the last few candidates, which double them, so far fewer totals move in all.
void TailTotals::BuildForward(Levels& levels, int from, int to) {
  levels.assign(1, Level());
  levels[0].totals.push_back(0);
  levels[0].starts.push_back(static_cast<Start>(m_m - to));
  for (int j = from; j < to && !m_stopped; ++j) {
    const std::int64_t x = m_sizes[j];
    levels.emplace_back();
    for (int c = j - from + 1; c >= 1; --c) {
      const std::vector<std::int64_t>& shorter = levels[c - 1].totals;
      const auto added = std::upper_bound(shorter.begin(), shorter.end(), m_limit - x) - shorter.begin();
      // A combination of c candidates ending with this one starts where its first c - 1 start.
      Merge(levels[c], levels[c - 1], added, x, c == 1 ? m_m - j : -1, true);
    }
    m_stopped = m_stop.load(std::memory_order_relaxed);
  }
}

// Merges the first `added` totals of `shorter`, each plus x, into `level` in place from its end.
// The new totals start at `start`, or where they start in `shorter` when `start` is negative; of
// equal totals the later start is kept, which is the listed one unless `laterStarts`. Returns the
// number of totals added.
std::ptrdiff_t TailTotals::Merge(Level& level, const Level& shorter, std::ptrdiff_t added, std::int64_t x, int start,
                                 bool laterStarts) {
  std::vector<std::int64_t>& totals = level.totals;
  std::vector<Start>& starts = level.starts;
  // Where this level repeated totals last time, most of those added are listed already (small
  // or equal sizes): the new ones are counted first, so that only the totals above the lowest
  // of them move, and nothing is left to close up.
  const auto fresh = level.repeats ? Fresh(totals, shorter.totals, added, x) : added;
  auto old = static_cast<std::ptrdiff_t>(totals.size()) - 1;
  auto write = old + fresh;
  totals.resize(write + 1);
  starts.resize(write + 1);
  // Once the gap is closed the rest repeat listed totals; when the new totals may start later than
  // the listed ones they still move those starts.
  for (auto k = added - 1; k >= 0 && (write > old || laterStarts); --write) {
    const std::int64_t t = shorter.totals[k] + x;
    const Start from = start < 0 ? shorter.starts[k] : static_cast<Start>(start);
    if (old >= 0 && totals[old] >= t) {
      if (totals[old] == t) {
        starts[old] = std::min(starts[old], from);
        --k;
      }
      totals[write] = totals[old];
      starts[write] = starts[old--];
    } else {
      totals[write] = t;
      starts[write] = from;
      --k;
    }
  }
  // Totals that were listed already leave a gap between the old ones and the merged ones.
  level.repeats = write > old || fresh < added;
  if (write <= old) return fresh;
  totals.erase(totals.begin() + old + 1, totals.begin() + write + 1);
  starts.erase(starts.begin() + old + 1, starts.begin() + write + 1);
  return fresh - (write - old);
}

// The first candidate Build would take for lists of the candidates before `to`, by an estimate
// that never takes more than Build: subsets counted by their totals rounded down to 1/4096 of the
// limit, which are at least as many as the distinct totals.
int TailTotals::EstimatedFirst(Span<const std::int64_t> sizes, std::int64_t limit, int to, int mostCandidates,
                               std::size_t mostTotals) {
  constexpr int kBuckets = 4096;
  const std::int64_t width = limit / kBuckets + 1;
  std::vector<double> subsets(kBuckets, 0);  // by rounded total
  subsets[0] = 1;
  double listed = 1;
  int j = to;
  while (j > 0 && to - j < mostCandidates && listed * 2 <= static_cast<double>(mostTotals)) {
    const auto shift = static_cast<int>(sizes[--j] / width);
    for (int b = kBuckets - 1; b >= shift; --b) {
      const double added = subsets[b - shift];
      subsets[b] += added;
      listed += added;
    }
  }
  return j;
}

// Follows the constructor: the table's candidates, then the block's.
bool TailTotals::HoldEveryCandidate(Span<const std::int64_t> sizes, std::int64_t limit, int mostCandidates,
                                    std::size_t mostTotals) {
  mostCandidates = std::clamp(mostCandidates, 0, kMostCandidates);
  const int m = static_cast<int>(sizes.size());
  const int table = EstimatedFirst(sizes, limit, m, std::min(mostCandidates, TableMost(m)), mostTotals);
  return table == 0 || EstimatedFirst(sizes, limit, table, mostCandidates, mostTotals) == 0;
}

int TailTotals::NextSize(int i) const {
  const std::int64_t size = m_sizes[i];
  do ++i;
  while (i < m_m && m_sizes[i] == size);
  return i;
}

// Pairs a block total with a table total. Both lists are cut to the band in which a partner can
// still exist; the shorter band is walked from its top and the longer one searched.
std::int64_t TailTotals::BestTotal(int r, std::int64_t low, std::int64_t high, std::uint64_t& work) const {
  if (high <= low) return -1;
  std::int64_t best = low;
  const int tableSize = static_cast<int>(m_table.size()) - 1, blockSize = static_cast<int>(m_block.size()) - 1;
  for (int inBlock = std::max(0, r - tableSize); inBlock <= std::min(r, blockSize); ++inBlock) {
    ++work;
    const std::vector<std::int64_t>& x = m_block[inBlock].totals;
    const std::vector<std::int64_t>& y = m_table[r - inBlock].totals;
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
    auto partner = other0;  // as the walk goes down, its partners only go up
    for (auto it = to; it != from;) {
      const std::int64_t a = *--it;
      if (*(other1 - 1) <= best - a) break;  // smaller totals of this band cannot do better
      ++work;
      partner = UpperBoundFrom(partner, other1, high - a);
      if (partner == other0) continue;
      best = std::max(best, a + *(partner - 1));
      if (best == high) return best;
    }
  }
  return best > low ? best : -1;
}

// Whether r candidates from `start` on add up to `total`: a block total that can start there
// paired with a table total, or from inside the table a table total that can start there.
bool TailTotals::Reaches(int start, int r, std::int64_t total) const {
  const auto from = static_cast<Start>(m_m - start);
  const auto find = [](const Level& level, std::int64_t value) {
    const auto it = std::lower_bound(level.totals.begin(), level.totals.end(), value);
    return it != level.totals.end() && *it == value ? static_cast<int>(it - level.totals.begin()) : -1;
  };
  const int tableSize = static_cast<int>(m_table.size()) - 1, blockSize = static_cast<int>(m_block.size()) - 1;
  if (start >= m_tableFirst) {
    if (r > tableSize) return false;
    const int at = find(m_table[r], total);
    return at >= 0 && m_table[r].starts[at] <= from;
  }
  for (int inBlock = std::max(0, r - tableSize); inBlock <= std::min(r, blockSize); ++inBlock) {
    const Level& x = m_block[inBlock];
    const Level& y = m_table[r - inBlock];
    if (x.totals.empty() || y.totals.empty()) continue;
    const auto x0 = std::lower_bound(x.totals.begin(), x.totals.end(), total - y.totals.back());
    const auto x1 = std::upper_bound(x0, x.totals.end(), total - y.totals.front());
    if (x0 == x1) continue;
    const auto y0 = std::lower_bound(y.totals.begin(), y.totals.end(), total - *(x1 - 1));
    const auto y1 = std::upper_bound(y0, y.totals.end(), total - *x0);
    // One band is walked up, its partners in the other only go down.
    if (x1 - x0 <= y1 - y0) {
      auto partner = y1;
      for (auto it = x0; it != x1; ++it) {
        if (x.starts[it - x.totals.begin()] > from) continue;
        partner = LowerBoundBefore(y0, partner, total - *it);
        if (partner != y1 && *partner == total - *it) return true;
      }
    } else {
      auto partner = x1;
      for (auto it = y0; it != y1; ++it) {
        partner = LowerBoundBefore(x0, partner, total - *it);
        if (partner != x1 && *partner == total - *it && x.starts[partner - x.totals.begin()] <= from) return true;
      }
    }
  }
  return false;
}

// Index order, each candidate taken when the candidates after it can still make up the rest.
bool TailTotals::FirstCombination(int r, std::int64_t total, std::vector<int>& chosen) const {
  if (m_stopped || total < 0) return false;
  for (int start = m_first; r > 0; --r) {
    int c = start;
    for (; c <= m_m - r; c = NextSize(c)) {
      if (m_sizes[c] + Least(r - 1) > total) continue;
      if (Most(c, r) < total || m_stop.load(std::memory_order_relaxed)) return false;
      if (Reaches(c + 1, r - 1, total - m_sizes[c])) break;
    }
    if (c > m_m - r) return false;
    chosen.push_back(c);
    total -= m_sizes[c];
    start = c + 1;
  }
  return total == 0;
}
