#include "search/plan.h"

#include <algorithm>

SearchPlan PlanSearch(Span<const std::int64_t> sizes, std::int64_t capacity, std::int64_t pinnedTotal, int maxFiles) {
  SearchPlan plan;
  plan.capacity = capacity;
  plan.pinnedTotal = pinnedTotal;
  if (pinnedTotal > capacity) {
    plan.refusal = PlanRefusal::kPinnedOverCapacity;
    return plan;
  }
  plan.remaining = capacity - pinnedTotal;
  const std::int64_t remaining = plan.remaining;
  if (sizes.empty()) {
    plan.refusal = PlanRefusal::kNoFiles;
    return plan;
  }
  const auto firstFit = std::find_if(sizes.begin(), sizes.end(), [&](std::int64_t s) { return s <= remaining; });
  if (firstFit == sizes.end()) {
    plan.refusal = PlanRefusal::kNothingFits;
    return plan;
  }

  // Greedy fill from the largest file; it stops at the first file that does not fit.
  std::int64_t best = remaining;
  int greedy = 0;
  while (greedy < static_cast<int>(sizes.size()) && sizes[greedy] <= best) {
    best -= sizes[greedy];
    plan.initial.push_back(greedy);
    ++greedy;
  }
  plan.greedyTotal = remaining - best;

  // The most files that fit together: the smallest ones, from the tail.
  int upper = 0;
  std::int64_t left = remaining;
  for (auto it = sizes.rbegin(); it != sizes.rend() && *it <= left; ++it) {
    left -= *it;
    ++upper;
  }

  if (greedy == 0) {
    // Even the largest file is too large: the first file that fits on its own is the start.
    greedy = 1;
    const int index = static_cast<int>(firstFit - sizes.begin());
    best = remaining - *firstFit;
    plan.initial.push_back(index);
  }
  plan.bestRemainder = best;

  // No combination of `greedy` files or fewer can beat the greedy fill, so the search starts above it.
  int lower = greedy + 1;
  upper = std::min(upper, std::max(maxFiles, 1));
  if (lower > upper) lower = upper;
  plan.lower = lower;
  plan.upper = upper;
  return plan;
}
