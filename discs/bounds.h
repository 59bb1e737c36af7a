#pragma once
// Lower bounds on the number of discs a set of files takes, proven from their sizes alone.

#include <cstdint>
#include <vector>

#include "discs/disc_list.h"
#include "search/span.h"

/// Martello and Toth's bound L2, with the file limit, for sizes in descending order.
int L2Bound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc);

/// The discs the reduction fixes, the items it leaves, and the bound over both.
struct Reduced {
  DiscList fixed;
  std::vector<int> rest;  ///< item indices, ascending
  std::vector<std::int64_t> restSizes;
  int bound = 0;
};

/// The reduction that DiscLowerBound describes, and the bound it gives.
Reduced ReduceAndBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc);

/// A proven lower bound for sizes in descending order, each at most the capacity, with at most
/// maxPerDisc items a disc: the highest of Martello and Toth's L2, Fekete and Schepers' bounds,
/// and either of them after the reduction that pairs each item too large to share a disc with
/// two others with the largest item that fits beside it.
int DiscLowerBound(Span<const std::int64_t> sizes, std::int64_t capacity, int maxPerDisc);
