// Sorting a file set into the standard order, for the shapes a file list takes: random sizes,
// already sorted, reversed, and sizes that rise and then fall (the shape that made the earlier
// quicksort of the linked list quadratic).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "files/file_set.h"

namespace {

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main() {
  const std::vector<std::pair<const char*, std::function<std::int64_t(int, int)>>> shapes = {
      {"random",
       [](int i, int) {
         return static_cast<std::int64_t>(std::mt19937_64(static_cast<unsigned>(i))() % 1'000'000'000);
       }},
      {"sorted", [](int i, int n) { return static_cast<std::int64_t>(n - i); }},
      {"reversed", [](int i, int) { return static_cast<std::int64_t>(i); }},
      {"rise then fall", [](int i, int n) { return static_cast<std::int64_t>(i < n / 2 ? i : n - i); }},
  };
  std::printf("FileSet::Sort into the standard order (CPU seconds, best of 3)\n");
  std::printf("%-16s %10s %10s %10s\n", "shape", "10,000", "40,000", "100,000");
  for (const auto& [name, size] : shapes) {
    std::printf("%-16s", name);
    for (int n : {10000, 40000, 100000}) {
      double best = 1e9;
      for (int run = 0; run < 3; ++run) {
        FileSet set;
        for (int i = 0; i < n; ++i) set.Add(MakeFileEntry("C:\\files\\f" + std::to_string(i) + ".dat", size(i, n)));
        const double start = CpuSeconds();
        set.Sort(StandardOrderComparator());
        best = std::min(best, CpuSeconds() - start);
      }
      std::printf(" %10.3f", best);
    }
    std::printf("\n");
  }
  return 0;
}
