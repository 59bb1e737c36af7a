#include "search/tail_totals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

// The lists against every subset of the candidates they cover: the best total of r candidates in a
// window, and the first combination in index order with a total. Sizes distinct, repeated and
// nearly repeated; lists allowed few totals, so that they cover only some candidates.
TEST(TailTotals, AgreeWithEverySubset) {
  std::mt19937_64 rng(5);
  const auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  const std::atomic<std::uint8_t> stop{0};
  int foreseen = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<std::int64_t> sizes(pick(1, 14));
    for (auto& s : sizes)
      s = round % 3 == 0 ? pick(1, 4) * 100 : round % 3 == 1 ? 1000 + pick(0, 5) : pick(1, 1'000'000);
    std::sort(sizes.rbegin(), sizes.rend());
    const std::int64_t limit = pick(sizes.front(), std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0}));
    const int m = static_cast<int>(sizes.size());
    const int mostCandidates = static_cast<int>(pick(1, m));
    const std::size_t mostTotals = std::size_t{1} << pick(1, 9);
    const TailTotals tail(sizes, limit, mostCandidates, mostTotals, stop);
    const int first = tail.First();
    SCOPED_TRACE(::testing::Message() << "round " << round << ", candidates from " << first << " of " << m);
    // The estimate that the lists take every candidate is never wrong when it says so.
    if (TailTotals::HoldEveryCandidate(sizes, limit, mostCandidates, mostTotals)) {
      EXPECT_EQ(first, 0);
      ++foreseen;
    }

    std::map<std::pair<int, std::int64_t>, std::vector<int>> firsts;  // by count and total
    for (unsigned mask = 0; mask < (1u << (m - first)); ++mask) {
      std::vector<int> chosen;
      std::int64_t total = 0;
      for (int i = first; i < m; ++i) {
        if (mask >> (i - first) & 1) chosen.push_back(i), total += sizes[i];
      }
      if (total > limit) continue;
      const auto key = std::make_pair(static_cast<int>(chosen.size()), total);
      const auto it = firsts.find(key);
      if (it == firsts.end() || chosen < it->second) firsts[key] = chosen;
    }

    for (int r = 0; r <= m - first; ++r) {
      for (int window = 0; window < 4; ++window) {
        const std::int64_t low = pick(-1, limit), high = pick(std::max<std::int64_t>(low, 0), limit);
        std::int64_t expected = -1;
        for (const auto& [key, chosen] : firsts) {
          if (key.first == r && key.second > low && key.second <= high) expected = std::max(expected, key.second);
        }
        std::uint64_t work = 0;
        EXPECT_EQ(tail.BestTotal(r, low, high, work), expected) << "r " << r << " in (" << low << ", " << high << "]";
      }
    }
    for (const auto& [key, chosen] : firsts) {
      // A window that holds no total (as a probe that reached the least remainder asks) has no best.
      std::uint64_t work = 0;
      EXPECT_EQ(tail.BestTotal(key.first, key.second, key.second, work), -1) << key.first << " at " << key.second;
      std::vector<int> got;
      ASSERT_TRUE(tail.FirstCombination(key.first, key.second, got)) << key.first << " for " << key.second;
      EXPECT_EQ(got, chosen);
      got.clear();
      if (key.second < limit && !firsts.count({key.first, key.second + 1})) {
        EXPECT_FALSE(tail.FirstCombination(key.first, key.second + 1, got));
      }
    }
  }
  EXPECT_GT(foreseen, 10);
}
