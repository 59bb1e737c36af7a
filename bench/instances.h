#pragma once
// Instance classes for the search benchmark: seeded, so every run measures the same inputs.

#include <cstdint>
#include <string>
#include <vector>

#include "search/byte_count.h"

struct BenchInstance {
  std::string name;
  std::vector<std::int64_t> sizes;  ///< descending
  std::int64_t capacity;
  bool literal = true;  ///< whether the literal enumeration can finish it in a benchmark run
  int maxFiles = kNoFileLimit;
};

constexpr std::int64_t kCd700 = 737'280'000;
constexpr std::int64_t kDvd = 4'700'372'992;
constexpr std::int64_t kBd25 = 25'025'314'816;

/// n sizes drawn uniformly from [lo, hi]; with `even` every size is made even.
std::vector<std::int64_t> UniformSizes(int n, std::int64_t lo, std::int64_t hi, std::uint64_t seed, bool even = false);

/// n random 31-bit sizes, with half their total as the capacity.
BenchInstance RandomInstance(int n, std::uint64_t seed);

/// Split volumes, disc images, clips of one length: three quarters of n files of 650,000,000
/// bytes (with 1 to 999 bytes more each when `near`), the rest videos of 50 MB to 1.5 GB, for a DVD.
BenchInstance OneSizeInstance(int n, std::uint64_t seed, bool near);

/// The benchmark's classes, in the order they are reported.
std::vector<BenchInstance> BenchInstances();
