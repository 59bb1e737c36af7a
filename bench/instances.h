#pragma once
// Instance classes for the search benchmark: seeded, so every run measures the same inputs.

#include <cstdint>
#include <string>
#include <vector>

struct BenchInstance {
  std::string name;
  std::vector<std::int64_t> sizes;  ///< descending
  std::int64_t capacity;
};

constexpr std::int64_t kCd700 = 737'280'000;
constexpr std::int64_t kDvd = 4'700'372'992;

/// n sizes drawn uniformly from [lo, hi]; with `even` every size is made even.
std::vector<std::int64_t> UniformSizes(int n, std::int64_t lo, std::int64_t hi, std::uint64_t seed, bool even = false);

/// The benchmark's classes, in the order they are reported.
std::vector<BenchInstance> BenchInstances();
