#include "bench/instances.h"

#include <algorithm>
#include <numeric>
#include <random>

std::vector<std::int64_t> UniformSizes(int n, std::int64_t lo, std::int64_t hi, std::uint64_t seed, bool even) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<std::int64_t> pick(lo, hi);
  std::vector<std::int64_t> sizes(n);
  for (auto& s : sizes) s = even ? pick(rng) & ~std::int64_t{1} : pick(rng);
  std::sort(sizes.rbegin(), sizes.rend());
  return sizes;
}

std::vector<BenchInstance> BenchInstances() {
  std::vector<BenchInstance> out;
  for (int n : {24, 28, 30}) {
    std::vector<std::int64_t> sizes = UniformSizes(n, 1, (std::int64_t{1} << 31) - 1, 1000 + n);
    const std::int64_t total = std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
    out.push_back({"random 31-bit n=" + std::to_string(n), sizes, total / 2});
  }
  out.push_back({"songs 3-10 MB, CD 700, n=150", UniformSizes(150, 3'000'000, 10'000'000, 150), kCd700});
  out.push_back({"photos 1.5-8 MB, DVD, n=2000", UniformSizes(2000, 1'500'000, 8'000'000, 2000), kDvd});
  out.push_back({"photos 1.5-8 MB, DVD, n=20000", UniformSizes(20000, 1'500'000, 8'000'000, 20000), kDvd});
  for (int n : {30, 60, 100}) {
    out.push_back({"videos 50 MB-1.5 GB, DVD, n=" + std::to_string(n), UniformSizes(n, 50'000'000, 1'500'000'000, 300 + n), kDvd});
  }
  out.push_back({"no exact fit: even songs, CD 700 + 1, n=150", UniformSizes(150, 3'000'000, 10'000'000, 151, true), kCd700 + 1});
  return out;
}
