#include "search/reachable_totals.h"

#include <algorithm>

namespace {

// At most about 32 MB for the table and 2^28 word operations to build it: a few tenths of a second.
constexpr double kMostBytes = 32.0 * 1024 * 1024;
constexpr double kMostWordSteps = 268435456.0;

int LowestBit(std::uint64_t word) { return __builtin_ctzll(word); }

}  // namespace

bool ReachableTotals::Fits(int candidates, int most, std::int64_t units) {
  if (candidates < 1 || candidates >= 0xFFFF || most < 1 || units < 0) return false;
  const double cells = (most + 1.0) * (static_cast<double>(units) + 1);
  const double words = static_cast<double>(units) / 64 + 1;
  return cells * sizeof(std::uint16_t) <= kMostBytes && candidates * (most + 1.0) * words <= kMostWordSteps;
}

// Candidates are added from the last one back, as in a knapsack table by count: a total of k
// candidates that first appears when candidate j is added starts at j, and no later index
// reaches it. The bit sets say which totals each count reaches so far.
ReachableTotals::ReachableTotals(Span<const std::int64_t> sizes, std::int64_t unit, std::int64_t capacity, int most,
                                 const std::atomic<std::uint8_t>& stop)
    : m_sizes(sizes), m_unit(unit), m_units(capacity / unit), m_most(most) {
  const int m = static_cast<int>(sizes.size());
  const std::size_t width = static_cast<std::size_t>(m_units) + 1;
  const std::size_t words = width / 64 + 1;
  const std::uint64_t lastWordMask = (std::uint64_t{1} << (width % 64)) - 1;  // bits of totals up to m_units
  m_latest.assign((most + 1) * width, 0);
  std::vector<std::uint64_t> reached((most + 1) * words, 0);
  std::vector<std::size_t> highestWord(most + 1, 0);  // no bit of a count lies above its word
  reached[0] = 1;
  m_latest[0] = static_cast<std::uint16_t>(m + 1);
  for (int j = m - 1; j >= 0; --j) {
    const auto shift = static_cast<std::size_t>(sizes[j] / unit);
    const std::size_t wordShift = shift / 64;
    const unsigned bitShift = shift % 64;
    for (int k = std::min(most, m - j); k >= 1; --k) {
      // One count is at most a few hundred thousand words: the stop flag is looked at before each.
      if (stop.load(std::memory_order_relaxed)) {
        m_stopped = true;
        return;
      }
      const std::uint64_t* from = &reached[(k - 1) * words];
      std::uint64_t* to = &reached[k * words];
      std::uint16_t* latest = &m_latest[k * width];
      const std::size_t end = std::min(words, highestWord[k - 1] + wordShift + 2);
      for (std::size_t w = wordShift; w < end; ++w) {
        std::uint64_t moved = from[w - wordShift] << bitShift;
        if (bitShift && w > wordShift) moved |= from[w - wordShift - 1] >> (64 - bitShift);
        if (w == words - 1) moved &= lastWordMask;
        std::uint64_t fresh = moved & ~to[w];
        if (!fresh) continue;
        to[w] |= fresh;
        highestWord[k] = std::max(highestWord[k], w);
        for (; fresh; fresh &= fresh - 1) latest[w * 64 + LowestBit(fresh)] = static_cast<std::uint16_t>(j + 1);
      }
    }
  }
}

bool ReachableTotals::Reaches(int count, std::int64_t units, int from) const {
  if (count < 0 || count > m_most || units < 0 || units > m_units) return false;
  return m_latest[count * (m_units + 1) + units] >= from + 1;
}

std::int64_t ReachableTotals::BestTotal(int k, std::int64_t floor) const {
  if (m_stopped || k < 0 || k > m_most) return -1;
  for (std::int64_t units = m_units; units >= 0 && units * m_unit > floor; --units) {
    if (Reaches(k, units, 0)) return units * m_unit;
  }
  return -1;
}

// Index order: each candidate is taken when the candidates after it can still make up the rest.
std::vector<int> ReachableTotals::FirstCombination(int k, std::int64_t total) const {
  std::vector<int> chosen;
  if (m_stopped || total < 0 || total % m_unit != 0 || !Reaches(k, total / m_unit, 0)) return chosen;
  std::int64_t rest = total / m_unit;
  for (int i = 0; k > 0; ++i) {
    const std::int64_t size = m_sizes[i] / m_unit;
    if (size <= rest && Reaches(k - 1, rest - size, i + 1)) {
      chosen.push_back(i);
      rest -= size;
      --k;
    }
  }
  return chosen;
}
