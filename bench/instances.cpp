#include "bench/instances.h"

#include <algorithm>
#include <cmath>
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

BenchInstance RandomInstance(int n, std::uint64_t seed) {
  std::vector<std::int64_t> sizes = UniformSizes(n, 1, (std::int64_t{1} << 31) - 1, seed);
  const std::int64_t total = std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
  return {"random 31-bit n=" + std::to_string(n), sizes, total / 2, n <= 30};
}

BenchInstance OneSizeInstance(int n, std::uint64_t seed, bool near) {
  std::mt19937_64 rng(seed);
  std::vector<std::int64_t> sizes(n);
  for (int i = 0; i < n; ++i) {
    sizes[i] = i < n * 3 / 4 ? 650'000'000 + (near ? std::uniform_int_distribution<std::int64_t>(1, 999)(rng) : 0)
                             : std::uniform_int_distribution<std::int64_t>(50'000'000, 1'500'000'000)(rng);
  }
  std::sort(sizes.rbegin(), sizes.rend());
  return {std::string(near ? "nearly one size" : "one size") + " 650 MB, DVD, n=" + std::to_string(n), sizes, kDvd,
          n <= 50};
}

namespace {

// A folder of everything: sizes spread evenly on a logarithmic scale from 1 KB to 2 GB.
std::vector<std::int64_t> MixedSizes(int n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> exponent(std::log(1e3), std::log(2e9));
  std::vector<std::int64_t> sizes(n);
  for (auto& s : sizes) s = static_cast<std::int64_t>(std::exp(exponent(rng)));
  std::sort(sizes.rbegin(), sizes.rend());
  return sizes;
}

}  // namespace

std::vector<BenchInstance> BenchInstances() {
  std::vector<BenchInstance> out;
  for (int n : {24, 28, 30}) out.push_back(RandomInstance(n, 1000 + n));
  out.push_back({"songs 3-10 MB, CD 700, n=150", UniformSizes(150, 3'000'000, 10'000'000, 150), kCd700, false});
  out.push_back({"songs 3-10 MB, CD 700, n=5000", UniformSizes(5000, 3'000'000, 10'000'000, 5000), kCd700, false});
  for (int n : {2000, 20000, 200000}) {
    out.push_back(
        {"photos 1.5-8 MB, DVD, n=" + std::to_string(n), UniformSizes(n, 1'500'000, 8'000'000, n), kDvd, false});
  }
  for (int n : {2000, 200000})
    out.push_back({"mixed folder 1 KB-2 GB, DVD, n=" + std::to_string(n), MixedSizes(n, n), kDvd, false});
  for (int n : {30, 60, 100}) {
    out.push_back({"videos 50 MB-1.5 GB, DVD, n=" + std::to_string(n),
                   UniformSizes(n, 50'000'000, 1'500'000'000, 300 + n), kDvd, n <= 30});
  }
  for (int n : {60, 80}) {
    out.push_back({"videos 300 MB-4 GB, BD 25, n=" + std::to_string(n),
                   UniformSizes(n, 300'000'000, 4'000'000'000, 500 + n), kBd25, false});
  }
  out.push_back({"no exact fit: even songs, CD 700 + 1, n=150", UniformSizes(150, 3'000'000, 10'000'000, 151, true),
                 kCd700 + 1, false});
  for (bool near : {false, true}) {
    for (int n : {50, 100, 1000}) out.push_back(OneSizeInstance(n, 700 + n, near));
  }
  for (int n : {46, 55, 70, 100, 150}) out.push_back(RandomInstance(n, 1000 + n));
  out.push_back(StructuredInstance());
  return out;
}

BenchInstance StructuredInstance(int pairs) {
  std::vector<std::int64_t> sizes;
  for (std::int64_t i = 0; i < pairs; ++i) {
    sizes.push_back(50'000 * (1000 + 37 * i));
    sizes.push_back(50'000 * (1005 + 37 * i));
  }
  std::sort(sizes.rbegin(), sizes.rend());
  return {"structured multiples of 50,000, DVD, n=" + std::to_string(2 * pairs), sizes, kDvd, false};
}

BenchInstance TwoProgressions(int n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  const std::int64_t start = pick(50'000'000, 99'999'999) * 2 + 1, step = pick(500'000, 2'499'999) * 2 + 1;
  std::int64_t shift;
  do shift = pick(1, step - 1);
  while (std::gcd(std::gcd(start, step), shift) != 1);
  std::vector<std::int64_t> sizes;
  for (int i = 0; i < n; ++i) sizes.push_back(start + (i % 2 ? shift : 0) + i / 2 * step);
  std::sort(sizes.rbegin(), sizes.rend());
  return {"", sizes, kDvd, false};
}

BenchInstance MultiplesPlusNoise(int n, std::uint64_t seed, std::int64_t unit, std::int64_t lowest,
                                 std::int64_t highest, std::int64_t noise, std::int64_t capacity) {
  std::mt19937_64 rng(seed);
  std::vector<std::int64_t> sizes(n);
  for (auto& s : sizes) {
    s = unit * std::uniform_int_distribution<std::int64_t>(lowest, highest)(rng) +
        std::uniform_int_distribution<std::int64_t>(0, noise)(rng);
  }
  std::sort(sizes.rbegin(), sizes.rend());
  return {"", sizes, capacity, false};
}

BenchInstance JustOverFractions(int n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::int64_t> sizes(n);
  for (auto& s : sizes)
    s = kDvd / std::uniform_int_distribution<std::int64_t>(2, 9)(rng) +
        std::uniform_int_distribution<std::int64_t>(1, 999)(rng);
  std::sort(sizes.rbegin(), sizes.rend());
  return {"", sizes, kDvd, false};
}

namespace {

template <std::int64_t kLow, std::int64_t kHigh, std::int64_t kCapacity>
BenchInstance Videos(int n, std::uint64_t seed) {
  return {"", UniformSizes(n, kLow, kHigh, seed), kCapacity, false};
}

template <std::int64_t kCapacity>
BenchInstance Mixed(int n, std::uint64_t seed) {
  return {"", MixedSizes(n, seed), kCapacity, false};
}

BenchInstance Mebibytes(int n, std::uint64_t seed) {
  return MultiplesPlusNoise(n, seed, 1 << 20, 100, 1999, 999, kDvd);
}
BenchInstance Chunks(int n, std::uint64_t seed) { return MultiplesPlusNoise(n, seed, 2'048'000, 50, 1499, 99, kBd25); }

}  // namespace

std::vector<SeededClass> SeededClasses() {
  return {
      {"random 31-bit, half the total", {46, 50, 55, 60, 65, 70, 80, 100, 120, 150, 200, 250, 300}, 0, RandomInstance},
      {"videos 100 MB-2 GB, BD 50", {60, 80, 100, 120, 150, 200}, 1'000'000, Videos<100'000'000, 2'000'000'000, kBd50>},
      {"videos 100 MB-2 GB, BD 100", {100, 125, 150, 200, 300}, 2'000'000, Videos<100'000'000, 2'000'000'000, kBd100>},
      {"videos 50 MB-1.5 GB, DVD",
       {20, 30, 40, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 70, 80, 100, 150},
       3'000'000,
       Videos<50'000'000, 1'500'000'000, kDvd>},
      {"videos 300 MB-4 GB, BD 25",
       {30, 40, 50, 60, 70, 80, 100, 150},
       4'000'000,
       Videos<300'000'000, 4'000'000'000, kBd25>},
      {"songs 3-10 MB, CD 700", {100, 150, 300, 1000}, 5'000'000, Videos<3'000'000, 10'000'000, kCd700>},
      {"photos 1.5-8 MB, BD 25", {2000, 20000}, 6'000'000, Videos<1'500'000, 8'000'000, kBd25>},
      {"mixed folder 1 KB-2 GB, CD 700", {100, 1000, 10000}, 7'000'000, Mixed<kCd700>},
      {"mixed folder 1 KB-2 GB, BD 100", {100, 1000, 10000}, 8'000'000, Mixed<kBd100>},
      {"two progressions, DVD", {250, 285, 300, 500, 1000}, 9'000'000, TwoProgressions, 5, 60},
      {"1 MiB x (100-1,999) + 0-999 B, DVD", {200}, 10'000'000, Mebibytes, 5, 60},
      {"2,048,000 x (50-1,499) + 0-99 B, BD 25", {60}, 11'000'000, Chunks, 5, 60},
      {"just over DVD / (2-9) + 1-999 B", {1000}, 12'000'000, JustOverFractions, 5, 60},
  };
}
