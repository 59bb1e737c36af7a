#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <random>
#include <vector>

#include "discs/branching.h"
#include "discs/diving.h"
#include "discs/plan.h"
#include "discs/relaxation.h"
#include "discs/rounded_bound.h"
#include "search/byte_count.h"

namespace {

// Every item on exactly one disc, no disc empty or over the capacity or the file limit, no fewer
// discs than the proven bound.
void ExpectWhole(const DiscPlan& plan, const std::vector<std::int64_t>& sizes, std::int64_t capacity, int maxPerDisc) {
  std::vector<int> seen(sizes.size(), 0);
  for (int i : plan.oversized) ++seen[i];
  for (const std::vector<int>& disc : plan.discs) {
    __int128 load = 0;
    for (int i : disc) {
      ++seen[i];
      load += sizes[i];
    }
    EXPECT_TRUE(load <= capacity);
    EXPECT_FALSE(disc.empty());
    EXPECT_LE(static_cast<int>(disc.size()), maxPerDisc);
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(sizes.size()));
  EXPECT_GE(static_cast<int>(plan.discs.size()), plan.lowerBound);
}

// Whether the items fit `discs` discs: each item in turn, largest first, onto every disc with
// room for it, skipping discs that hold as much and as many as one already tried.
bool FitsExactly(const std::vector<std::int64_t>& sizes, std::size_t next, std::vector<std::int64_t>& load,
                 std::vector<int>& count, std::int64_t capacity, int maxPerDisc) {
  if (next == sizes.size()) return true;
  for (std::size_t d = 0; d < load.size(); ++d) {
    bool seen = false;
    for (std::size_t e = 0; e < d && !seen; ++e) seen = load[e] == load[d] && count[e] == count[d];
    if (seen || load[d] + sizes[next] > capacity || count[d] == maxPerDisc) continue;
    load[d] += sizes[next];
    ++count[d];
    const bool fits = FitsExactly(sizes, next + 1, load, count, capacity, maxPerDisc);
    load[d] -= sizes[next];
    --count[d];
    if (fits) return true;
  }
  return false;
}

// The fewest discs for sizes in descending order, each at most the capacity, by trying every
// count from one up.
int FewestDiscs(const std::vector<std::int64_t>& sizes, std::int64_t capacity, int maxPerDisc) {
  for (int discs = 0;; ++discs) {
    std::vector<std::int64_t> load(discs, 0);
    std::vector<int> count(discs, 0);
    if (FitsExactly(sizes, 0, load, count, capacity, maxPerDisc)) return discs;
  }
}

int Bound(const std::vector<std::int64_t>& sizes, int maxPerDisc = kNoFileLimit) {
  return DiscLowerBound(sizes, 100, maxPerDisc);
}

}  // namespace

TEST(DiscPlan, BoundsBeyondL2) {
  EXPECT_EQ(Bound({69, 60, 47, 47, 32, 21}), 3);
  // Three of 35 never share a disc: L2 says 2, Fekete and Schepers 3.
  EXPECT_EQ(Bound({35, 35, 35, 35, 35}), 3);
  EXPECT_EQ(Bound({35, 35, 35, 35, 35}, 2), 3);
  // 86 takes only 13 beside it, 57 only 34: the reduction fixes both discs, and 10 needs a third.
  EXPECT_EQ(Bound({86, 57, 34, 13, 10}), 3);
  // No two discs hold 200 exactly (no set of the others makes 39): the search proves a third.
  const std::vector<std::int64_t> tight = {61, 50, 30, 30, 17, 12};
  std::atomic<std::uint8_t> stop{0};
  const DiscPlan plan = PlanDiscs(tight, 100, kNoFileLimit, stop);
  EXPECT_EQ(Bound(tight), 2);
  EXPECT_EQ(plan.lowerBound, 3);
  EXPECT_TRUE(plan.Minimum());
  EXPECT_TRUE(plan.complete);
  // Two discs would have to hold 200 to the byte: the linear relaxation proves three, and its
  // rounded plan is whole.
  const std::vector<std::int64_t> thirds = {44, 36, 34, 33, 29, 24};
  EXPECT_EQ(Bound(thirds), 2);
  long long nodes = 1'000'000;
  const Relaxation lp = Relax(thirds, 100, kNoFileLimit, BestFitDiscs(thirds, 100, kNoFileLimit), 0, nodes, stop);
  EXPECT_EQ(lp.bound, 3);
  EXPECT_TRUE(lp.complete);
  DiscPlan rounded;
  rounded.discs = lp.discs;
  rounded.lowerBound = lp.bound;
  ExpectWhole(rounded, thirds, 100, kNoFileLimit);
}

TEST(DiscPlan, PlansAreWholeAndReachTheBound) {
  std::atomic<std::uint8_t> stop{0};
  for (int k = 0; k < 30; ++k) {
    std::mt19937_64 rng(k);
    const int n = std::uniform_int_distribution<int>(10, 40)(rng);
    const std::int64_t capacity = 1'000'000;
    std::vector<std::int64_t> sizes(n);
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(10'000, k % 3 ? 700'000 : 1'100'000)(rng);
    std::sort(sizes.rbegin(), sizes.rend());
    const int maxPerDisc = k % 5 == 0 ? 3 : k % 7 == 0 ? 1 + k % 2 : kNoFileLimit;
    const DiscPlan plan = PlanDiscs(sizes, capacity, maxPerDisc, stop);
    ExpectWhole(plan, sizes, capacity, maxPerDisc);
    EXPECT_TRUE(plan.Minimum()) << k;
  }
  // Stopped before it starts: a whole plan all the same, said to be cut short.
  std::mt19937_64 rng(99);
  std::vector<std::int64_t> sizes(150);
  for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(200'000, 500'000)(rng);
  std::sort(sizes.rbegin(), sizes.rend());
  stop = 1;
  const DiscPlan plan = PlanDiscs(sizes, 1'000'000, kNoFileLimit, stop);
  ExpectWhole(plan, sizes, 1'000'000, kNoFileLimit);
  EXPECT_EQ(plan.complete, plan.Minimum());
}

// Against exact bin packing on small instances, with and without a file limit: every plan whole,
// the bound never above the fewest discs, and a plan said to be minimal truly so.
TEST(DiscPlan, AgreesWithExactPackingUnderFileLimits) {
  std::atomic<std::uint8_t> stop{0};
  // Bin completion once tried an item that fills a disc exactly alone and swapped two items for
  // one larger, which crowds the disc that gets the two past the limit: it "proved" four discs
  // impossible here.
  const std::vector<std::int64_t> crowded = {17, 16, 11, 11, 10, 9, 7, 6, 6, 5, 4, 4};
  const DiscPlan four = PlanDiscs(crowded, 33, 3, stop);
  ExpectWhole(four, crowded, 33, 3);
  EXPECT_EQ(four.discs.size(), 4u);
  EXPECT_TRUE(four.Minimum());
  for (int k = 0; k < 2000; ++k) {
    std::mt19937_64 rng(k);
    const int n = std::uniform_int_distribution<int>(6, 14)(rng);
    const std::int64_t capacity = std::uniform_int_distribution<std::int64_t>(10, 40)(rng);
    const int maxPerDisc = k % 5 == 4 ? kNoFileLimit : 1 + k % 5;
    std::vector<std::int64_t> sizes(n);
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(capacity / 8, capacity * 3 / 5)(rng);
    std::sort(sizes.rbegin(), sizes.rend());
    const DiscPlan plan = PlanDiscs(sizes, capacity, maxPerDisc, stop);
    ExpectWhole(plan, sizes, capacity, maxPerDisc);
    const int fewest = FewestDiscs(sizes, capacity, maxPerDisc);
    EXPECT_LE(plan.lowerBound, fewest) << "seed " << k;
    EXPECT_TRUE(!plan.Minimum() || static_cast<int>(plan.discs.size()) == fewest) << "seed " << k;
  }
}

// Sizes near the largest 64-bit value: every sum of two or three of them is taken wide (the
// sanitizers' build fails on an overflow).
TEST(DiscPlan, SizesNearTheLargestValue) {
  std::atomic<std::uint8_t> stop{0};
  const std::int64_t capacity = INT64_MAX;
  const std::vector<std::int64_t> three = {7025688001769880644, 2583987826957434447, 2583987826957434447};
  const DiscPlan plan = PlanDiscs(three, capacity, kNoFileLimit, stop);
  ExpectWhole(plan, three, capacity, kNoFileLimit);
  EXPECT_EQ(plan.discs.size(), 2u);
  EXPECT_TRUE(plan.Minimum());
  // Two to four a disc with little room to spare, so that every part of the planner runs.
  for (int k = 0; k < 8; ++k) {
    std::mt19937_64 rng(k);
    std::vector<std::int64_t> sizes(std::uniform_int_distribution<int>(20, 40)(rng));
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(capacity / 5, capacity / 2)(rng);
    std::sort(sizes.rbegin(), sizes.rend());
    for (int maxPerDisc : {3, kNoFileLimit})
      ExpectWhole(PlanDiscs(sizes, capacity, maxPerDisc, stop), sizes, capacity, maxPerDisc);
  }
}

// The relaxation counts the file limit in its sets, and the dive over it reaches the bound with
// every item on one disc.
TEST(DiscPlan, RelaxationAndDiveKeepTheFileLimit) {
  std::atomic<std::uint8_t> stop{0};
  const std::vector<std::int64_t> tens(10, 10);
  long long nodes = 1'000'000;
  const Relaxation lp = Relax(tens, 100, 3, BestFitDiscs(tens, 100, 3), 0, nodes, stop);
  EXPECT_EQ(lp.bound, 4);
  DiscPlan rounded;
  rounded.discs = lp.discs;
  ExpectWhole(rounded, tens, 100, 3);
  // Two to four items a disc with little room to spare, where best fit is one disc over.
  for (int maxPerDisc : {3, kNoFileLimit}) {
    std::mt19937_64 rng(7);
    std::vector<std::int64_t> sizes(90);
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(200'000, 500'000)(rng);
    std::sort(sizes.rbegin(), sizes.rend());
    nodes = 100'000'000;
    const int bound =
        Relax(sizes, 1'000'000, maxPerDisc, BestFitDiscs(sizes, 1'000'000, maxPerDisc), 0, nodes, stop).bound;
    Diver diver(sizes, 1'000'000, maxPerDisc, stop);
    DiscPlan dived;
    dived.lowerBound = bound;
    ASSERT_EQ(diver.Dive(bound, dived.discs, 100'000'000), Diver::kFound) << maxPerDisc;
    ExpectWhole(dived, sizes, 1'000'000, maxPerDisc);
    EXPECT_TRUE(dived.Minimum());
    EXPECT_GT(BestFitDiscs(sizes, 1'000'000, maxPerDisc).size(), dived.discs.size());
  }
}

// Branch and price against exact packing on small instances where the relaxation's rounded plan
// misses the fewest discs, and on two whose relaxation rounds below them: the tree alone decides.
TEST(DiscPlan, BranchAndPriceDecidesWhatTheRelaxationLeaves) {
  std::atomic<std::uint8_t> stop{0};
  const auto decides = [&](const std::vector<std::int64_t>& sizes, std::int64_t capacity, int maxPerDisc) {
    const int fewest = FewestDiscs(sizes, capacity, maxPerDisc);
    Brancher brancher(sizes, capacity, maxPerDisc, stop);
    DiscList plan;
    EXPECT_EQ(brancher.Search(fewest - 1, plan, 10'000'000), Brancher::kImpossible);
    EXPECT_EQ(brancher.Search(fewest, plan, 10'000'000), Brancher::kFound);
    DiscPlan found;
    found.discs = plan;
    ExpectWhole(found, sizes, capacity, maxPerDisc);
    EXPECT_EQ(static_cast<int>(plan.size()), fewest);
    long long nodes = 10'000'000;
    return Relax(sizes, capacity, maxPerDisc, BestFitDiscs(sizes, capacity, maxPerDisc), 0, nodes, stop);
  };
  int foundByTree = 0;
  for (int k = 0; k < 1000; ++k) {
    std::mt19937_64 rng(k);
    const int n = std::uniform_int_distribution<int>(8, 16)(rng);
    const std::int64_t capacity = std::uniform_int_distribution<std::int64_t>(40, 200)(rng);
    const int maxPerDisc = k % 4 == 3 ? 3 : kNoFileLimit;
    std::vector<std::int64_t> sizes(n);
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(capacity / 5, capacity * 3 / 5)(rng);
    std::sort(sizes.rbegin(), sizes.rend());
    const Relaxation lp = decides(sizes, capacity, maxPerDisc);
    foundByTree += static_cast<int>(lp.discs.size()) > FewestDiscs(sizes, capacity, maxPerDisc);
    if (::testing::Test::HasFailure()) FAIL() << "seed " << k;
  }
  EXPECT_GT(foundByTree, 10);
  // Seven discs where the relaxation proves only six.
  const std::vector<std::int64_t> seven = {38, 38, 34, 32, 32, 32, 32, 21, 21, 21, 21, 21, 14, 14, 14};
  EXPECT_EQ(decides(seven, 66, kNoFileLimit).bound, 6);
  const std::vector<std::int64_t> eight = {16, 16, 16, 16, 14, 14, 14, 14, 14, 14, 14, 10, 10, 9, 9, 6, 6, 6};
  EXPECT_LT(decides(eight, 28, kNoFileLimit).bound, FewestDiscs(eight, 28, kNoFileLimit));
}

// The relaxation of sizes rounded down never passes the fewest discs, on a grid as fine as the
// sizes and on a coarser one, and passes the bounds from sizes alone where many items of two or
// three a disc leave them short.
TEST(DiscPlan, RoundedDownBoundHoldsAndPassesSizeBounds) {
  std::atomic<std::uint8_t> stop{0};
  for (int k = 0; k < 300; ++k) {
    std::mt19937_64 rng(k);
    const int n = std::uniform_int_distribution<int>(6, 14)(rng);
    const std::int64_t capacity = std::uniform_int_distribution<std::int64_t>(20, 120)(rng);
    std::vector<std::int64_t> sizes(n);
    for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(capacity / 6, capacity * 3 / 5)(rng);
    std::sort(sizes.rbegin(), sizes.rend());
    const int fewest = FewestDiscs(sizes, capacity, kNoFileLimit);
    for (int grid : {static_cast<int>(capacity), 7, 1000})
      EXPECT_LE(RoundedDownBound(sizes, capacity, grid, 100'000, stop), fewest) << "seed " << k << " grid " << grid;
  }
  std::mt19937_64 rng(1);
  std::vector<std::int64_t> sizes(1000);
  for (auto& s : sizes) s = std::uniform_int_distribution<std::int64_t>(40, 100)(rng);
  std::sort(sizes.rbegin(), sizes.rend());
  const int rounded = RoundedDownBound(sizes, 200, 200, 100'000, stop);
  EXPECT_GT(rounded, DiscLowerBound(sizes, 200, kNoFileLimit));
  EXPECT_LE(rounded, static_cast<int>(BestFitDiscs(sizes, 200, kNoFileLimit).size()));
}
