#pragma once
// A lower bound for thousands of items from the linear relaxation of their sizes rounded down.

#include <atomic>
#include <cstdint>

#include "search/span.h"

/// The sizes (each at most the capacity) rounded down to whole units of 1/`grid` of a disc, each
/// size with its count, and the linear relaxation of packing them (Gilmore and Gomory's cutting
/// stock) solved by column generation, each set priced by a knapsack over the grid. Every plan
/// of the items is a plan of the rounded sizes, so whatever bound the relaxation proves holds for
/// the items; Farley's bound proves one at every pricing. For more items than the relaxation of
/// single items takes, where the bounds from sizes alone may be several discs short. Ends at the
/// optimum, after `pivots` pivots or when the stop flag is set; 0 when it proves nothing.
int RoundedDownBound(Span<const std::int64_t> sizes, std::int64_t capacity, int grid, long long pivots,
                     const std::atomic<std::uint8_t>& stop);
