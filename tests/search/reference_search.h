#pragma once
// A literal model of the exact-fit search: the recursive enumeration of every combination of
// each size of the count schedule, in index order, keeping strictly better remainders.
// Test and benchmark code only; the engine must give the same final result.

#include <atomic>
#include <cstdint>
#include <vector>
#include "search/span.h"

struct ReferenceImprovement {
  std::int64_t total;
  std::vector<int> indices;
};

struct ReferenceResult {
  std::int64_t bestRemainder;
  std::vector<ReferenceImprovement> improvements;
  bool complete = true;
};

/// `stop` is looked at after each candidate that fits, as the original enumeration does.
ReferenceResult ReferenceSearch(Span<const std::int64_t> sizes, std::int64_t capacity, std::int64_t bestRemainder,
                                int lower, int upper, const std::atomic<std::uint8_t>* stop = nullptr);
