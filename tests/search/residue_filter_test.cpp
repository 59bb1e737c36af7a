#include "search/residue_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

// The filter may let a window pass that holds no total, never the reverse: every total of two,
// three and four candidates is let through, and of five among those the deepest level covers, in
// windows that wrap around each modulus it may use, with few candidates (every level) and with
// hundreds (the pairs' level on a larger modulus, the deepest over the last few dozen).
TEST(ResidueFilter, NeverRejectsATotal) {
  std::mt19937_64 rng(11);
  for (const int m : {40, 70, 700}) {
    std::vector<std::int64_t> sizes(m);
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(1, std::int64_t{1} << 40)(rng);
    ResidueFilter filter(sizes);
    const int first = filter.DeepFirst();
    ASSERT_TRUE(filter.Has(2, 0));
    ASSERT_LT(first, m - 30);
    EXPECT_FALSE(filter.Has(ResidueFilter::kDeepest, first));
    filter.Deepen(sizes);
    EXPECT_TRUE(filter.Has(ResidueFilter::kDeepest, first));
    EXPECT_FALSE(filter.Has(ResidueFilter::kDeepest, first - 1));
    std::vector<std::int64_t> covered(sizes.begin() + first, sizes.end());
    for (int round = 0; round < 3000; ++round) {
      std::shuffle(sizes.begin(), sizes.end(), rng);
      std::shuffle(covered.begin(), covered.end(), rng);
      for (int r = 2; r <= ResidueFilter::kDeepest; ++r) {
        // Levels 2 to 4 cover every candidate, the deepest only the last ones.
        if (!filter.Has(r, first)) continue;
        const std::vector<std::int64_t>& from = r == ResidueFilter::kDeepest ? covered : sizes;
        std::uint64_t total = 0;
        for (int i = 0; i < r; ++i) total += static_cast<std::uint64_t>(from[i]);
        for (int bits = ResidueFilter::kBits; bits <= 25; ++bits) {
          const std::uint64_t residue = total & ((std::uint64_t{1} << bits) - 1);
          EXPECT_TRUE(filter.MayReach(r, total - residue - 3, total)) << r << " of " << m << " modulo 2^" << bits;
          // Windows within one word of the level, as the search asks once its remainder is small.
          EXPECT_TRUE(filter.MayReach(r, total - (residue & 31), total)) << r << " of " << m << " near 2^" << bits;
        }
      }
    }
  }
}
