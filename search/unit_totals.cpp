#include "search/unit_totals.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// At most about 64 MB of tables and 2^28 cell updates to build them and to walk: a few tenths of
// a second.
constexpr double kMostBytes = 64.0 * 1024 * 1024;
constexpr double kMostUpdates = 268435456.0;
// Unreachable cells: adding every noise of a combination to it leaves it negative.
constexpr std::int32_t kNone = INT32_MIN / 2;
constexpr std::int64_t kMostNoiseSum = std::int64_t{1} << 29;

int BlockLength(int candidates) { return std::max(1, static_cast<int>(std::ceil(std::sqrt(candidates)))); }

// Whether the tables for these dimensions fit: copies every block, and one block's worth.
bool Fits(int candidates, int most, std::int64_t multiples) {
  const int block = BlockLength(candidates);
  const double tables = candidates / block + 2.0 + block;
  const double cells = (most + 1.0) * (static_cast<double>(multiples) + 1);
  return tables * cells * sizeof(std::int32_t) <= kMostBytes && 2.0 * candidates * cells <= kMostUpdates;
}

}  // namespace

bool UnitTotals::Find(Span<const std::int64_t> sizes, std::int64_t capacity, int most, Unit& unit) {
  const int m = static_cast<int>(sizes.size());
  if (m < 1 || most < 1 || capacity < 1) return false;
  unit = Unit();
  // Cleared below each of these: the binary and the decimal places up to the largest size (a
  // larger one clears every size).
  std::vector<std::int64_t> digits;
  for (const std::int64_t base : {2, 10}) {
    for (std::int64_t d = base; d <= sizes[0]; d *= base) {
      digits.push_back(d);
      if (d > INT64_MAX / base) break;
    }
  }
  for (std::int64_t digit : digits) {
    std::int64_t g = 0;
    for (std::int64_t s : sizes) {
      g = std::gcd(g, s - s % digit);
      // g only shrinks: stop once its table could not fit.
      if (g != 0 && !::Fits(m, most, capacity / g)) break;
    }
    if (g == 0 || !::Fits(m, most, capacity / g)) continue;
    std::int64_t noise = 0;
    for (std::int64_t s : sizes) noise = std::max(noise, s % g);
    const double noiseSum = static_cast<double>(most) * static_cast<double>(noise);
    if (noiseSum >= static_cast<double>(g) || noiseSum > static_cast<double>(capacity % g) ||
        noiseSum >= static_cast<double>(kMostNoiseSum))
      continue;
    if (unit.size == 0 || g > unit.size) unit = {g, noise};
  }
  return unit.size > 0;
}

// Candidates are added from the last one back, as in a knapsack table by count, each count's
// largest noise sums kept per multiplier sum. Copies are kept every block of candidates so that
// the table of any suffix is rebuilt from the next copy after it.
UnitTotals::UnitTotals(Span<const std::int64_t> sizes, Unit unit, std::int64_t capacity, int most,
                       const std::atomic<std::uint8_t>& stop)
    : m_sizes(sizes), m_unit(unit), m_multiples(capacity / unit.size),
      m_most(std::min(most, static_cast<int>(sizes.size()))), m_width(static_cast<std::size_t>(m_multiples) + 1),
      m_block(BlockLength(static_cast<int>(sizes.size()))), m_stop(stop) {
  const int m = static_cast<int>(sizes.size());
  Table table((m_most + 1) * m_width, kNone);
  table[0] = 0;
  m_kept.reserve(m / m_block + 2);
  m_kept.push_back(table);  // from the end: nothing
  for (int j = m - 1; j >= 0; --j) {
    if (m_stop.load(std::memory_order_relaxed)) {
      m_stopped = true;
      return;
    }
    Add(table, j);
    if ((m - j) % m_block == 0 || j == 0) m_kept.push_back(table);
  }
}

void UnitTotals::Add(Table& table, int i) const {
  const std::int64_t q = m_sizes[i] / m_unit.size;
  const auto e = static_cast<std::int32_t>(m_sizes[i] % m_unit.size);
  if (q > m_multiples) return;
  const int m = static_cast<int>(m_sizes.size());
  const auto shift = static_cast<std::size_t>(q);
  for (int r = std::min(m_most, m - i); r >= 1; --r) {
    std::int32_t* to = &table[r * m_width];
    const std::int32_t* from = &table[(r - 1) * m_width];
    for (std::size_t x = m_width; x-- > shift;) to[x] = std::max(to[x], from[x - shift] + e);
  }
}

// Copy c is the table from candidate m - c * block on (the last copy from 0 when that is not a
// multiple). The tables between two copies are rebuilt from the later one, all of a block at once:
// the walk asks for ever later candidates, so each block is rebuilt once.
const UnitTotals::Table& UnitTotals::From(int j) const {
  const int m = static_cast<int>(m_sizes.size());
  if (j == 0) return m_kept.back();
  const int c = (m - j) / m_block;
  const int copyFrom = m - c * m_block;
  if (copyFrom == j) return m_kept[c];
  if (m_cachedBlock != c) {
    m_cachedBlock = c;
    const int lowest = std::max(copyFrom - m_block + 1, 1);
    m_cache.resize(static_cast<std::size_t>(copyFrom - lowest));
    const Table* later = &m_kept[c];
    for (int x = copyFrom - 1; x >= lowest; --x) {
      Table& table = m_cache[copyFrom - 1 - x];
      table = *later;
      Add(table, x);
      later = &table;
    }
  }
  return m_cache[copyFrom - 1 - j];
}

std::int64_t UnitTotals::BestTotal(int k, std::int64_t floor) const {
  if (m_stopped || k < 0 || k > m_most) return -1;
  const Table& all = From(0);
  // Every noise sum fits above the capacity's multiple, and stays below the next multiple.
  for (std::int64_t q = m_multiples; q >= 0; --q) {
    const std::int32_t noise = At(all, k, q);
    if (noise < 0) continue;
    const std::int64_t total = q * m_unit.size + noise;
    return total > floor ? total : -1;
  }
  return -1;
}

// Index order: each candidate is taken when the candidates after it reach the rest of the
// multiplier sum with the rest of the noise, the largest they can reach with it.
std::vector<int> UnitTotals::FirstCombination(int k, std::int64_t total) const {
  std::vector<int> chosen;
  if (m_stopped || k < 0 || k > m_most || total < 0) return chosen;
  std::int64_t q = total / m_unit.size, noise = total % m_unit.size;
  if (q > m_multiples || At(From(0), k, q) != noise) return chosen;
  const int m = static_cast<int>(m_sizes.size());
  for (int i = 0; k > 0 && i <= m - k; ++i) {
    if (m_stop.load(std::memory_order_relaxed)) return {};
    const std::int64_t qi = m_sizes[i] / m_unit.size, ei = m_sizes[i] % m_unit.size;
    if (qi > q || ei > noise || At(From(i + 1), k - 1, q - qi) != noise - ei) continue;
    chosen.push_back(i);
    q -= qi;
    noise -= ei;
    --k;
  }
  if (k > 0) chosen.clear();
  return chosen;
}
