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
constexpr std::int64_t kBd50 = 50'050'629'632;
constexpr std::int64_t kBd100 = 100'103'356'416;

/// n sizes drawn uniformly from [lo, hi]; with `even` every size is made even.
std::vector<std::int64_t> UniformSizes(int n, std::int64_t lo, std::int64_t hi, std::uint64_t seed, bool even = false);

/// n random 31-bit sizes, with half their total as the capacity.
BenchInstance RandomInstance(int n, std::uint64_t seed);

/// Split volumes, disc images, clips of one length: three quarters of n files of 650,000,000
/// bytes (with 1 to 999 bytes more each when `near`), the rest videos of 50 MB to 1.5 GB, for a DVD.
BenchInstance OneSizeInstance(int n, std::uint64_t seed, bool near);

/// The benchmark's classes, in the order they are reported.
std::vector<BenchInstance> BenchInstances();

/// `pairs` files of 50,000 x (1000 + 37i) bytes and as many of 50,000 x (1005 + 37i), i from 0,
/// for a DVD: the sizes' common divisor leaves a remainder of at least 22,992 bytes.
BenchInstance StructuredInstance(int pairs = 500);

/// Classes measured over many seeds: the instance of n files for seed s is make(n, seedBase + 1000n + s).
struct SeededClass {
  std::string name;
  std::vector<int> counts;  ///< the numbers of files measured
  std::uint64_t seedBase;
  BenchInstance (*make)(int n, std::uint64_t seed);
};

/// Random 31-bit sizes at half their total, and videos on Blu-ray discs and DVDs.
std::vector<SeededClass> SeededClasses();
