#pragma once

#include <vector>

/// The combination sizes to search, in order: from `lower` and `upper` inward, always the count
/// farther from n / 2 first (ties go to the larger count), each count once. When lower > upper
/// the single count that the first choice picks is searched.
std::vector<int> CountSchedule(int lower, int upper, int n);
