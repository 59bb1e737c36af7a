#pragma once
// The plans that the parts of the fewest-discs planner hand each other.

#include <vector>

using DiscList = std::vector<std::vector<int>>;  ///< item indices of each disc, ascending
