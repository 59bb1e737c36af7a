#include "search/residue_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

// The filter may let a window pass that holds no total, never the reverse: every total of two,
// three and four candidates is let through, alone and in windows that wrap around the modulus,
// with few candidates (every level) and with hundreds (the pairs' level on a larger modulus).
TEST(ResidueFilter, NeverRejectsATotal) {
  std::mt19937_64 rng(11);
  for (const int m : {40, 700}) {
    std::vector<std::int64_t> sizes(m);
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(1, std::int64_t{1} << 40)(rng);
    std::sort(sizes.rbegin(), sizes.rend());
    const ResidueFilter filter(sizes);
    ASSERT_TRUE(filter.Has(2));
    for (int round = 0; round < 3000; ++round) {
      std::vector<int> picked(m);
      for (int i = 0; i < m; ++i) picked[i] = i;
      std::shuffle(picked.begin(), picked.end(), rng);
      std::uint64_t total = 0;
      for (int r = 1; r <= 4; ++r) {
        total += static_cast<std::uint64_t>(sizes[picked[r - 1]]);
        if (r < 2 || !filter.Has(r)) continue;
        const auto below = std::uniform_int_distribution<std::uint64_t>(0, 5000)(rng);
        EXPECT_TRUE(filter.MayReach(r, total, total)) << m << " candidates, " << r << " of them";
        EXPECT_TRUE(filter.MayReach(r, total - std::min(total, below), total + 3));
        // From just under a multiple of the modulus up to the total, for every modulus it may use.
        for (int bits = ResidueFilter::kBits; bits <= 24; ++bits) {
          const std::uint64_t residue = total & ((std::uint64_t{1} << bits) - 1);
          EXPECT_TRUE(filter.MayReach(r, total - residue - 3, total)) << r << " of " << m << " modulo 2^" << bits;
        }
      }
    }
  }
}
