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

/// Two interleaved arithmetic progressions of n / 2 files each, with no common factor: an odd
/// start of 100-200 MB, an odd step of 1-5 MB, the second shifted by less than a step; for a DVD.
BenchInstance TwoProgressions(int n, std::uint64_t seed);

/// Fixed-size chunks with headers: unit x (lowest..highest) plus 0..noise bytes each.
BenchInstance MultiplesPlusNoise(int n, std::uint64_t seed, std::int64_t unit, std::int64_t lowest,
                                 std::int64_t highest, std::int64_t noise, std::int64_t capacity);

/// Sizes just over capacity / k for k drawn from 2 to 9, plus 1 to 999 bytes, for a DVD.
BenchInstance JustOverFractions(int n, std::uint64_t seed);

/// Classes measured over many seeds: the instance of n files for seed s is make(n, seedBase + 1000n + s).
struct SeededClass {
  std::string name;
  std::vector<int> counts;  ///< the numbers of files measured
  std::uint64_t seedBase;
  BenchInstance (*make)(int n, std::uint64_t seed);
  int seeds = 0;     ///< seeds per size, 0 for the benchmark's default
  double limit = 0;  ///< seconds after which a run is stopped, 0 for the benchmark's default
};

/// Random 31-bit sizes at half their total, videos on Blu-ray discs and DVDs, photos, songs and
/// mixed folders on every disc, and structured sizes (progressions, multiples of a unit with noise,
/// fractions of the capacity).
std::vector<SeededClass> SeededClasses();
