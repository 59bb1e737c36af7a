#pragma once
// One disc from start to end, as GO does it in the window: plan, initial solution, search.

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "search/plan.h"
#include "search/span.h"

struct DiscFit {
  PlanRefusal refusal = PlanRefusal::kNone;
  std::vector<int> chosen;  ///< candidate indices in result order (ascending)
  std::int64_t capacity = 0;
  std::int64_t total = 0;
  std::int64_t remainder = 0;
  bool complete = true;  ///< false when the stop flag ended the search
};

/// Called with each better total while the search runs, and the candidates that make it.
using FitProgress = std::function<void(std::int64_t total, Span<const int> chosen)>;

/// Finds the best fit of candidates (sizes in descending order) for the capacity.
DiscFit FitDisc(Span<const std::int64_t> sizes, std::int64_t capacity, int maxFiles,
                const std::atomic<std::uint8_t>& stop, const FitProgress& progress = nullptr);
