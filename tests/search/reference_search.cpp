#include "tests/search/reference_search.h"

#include <cstdlib>

namespace {

struct Reference {
  Span<const std::int64_t> sizes;
  std::int64_t capacity;
  std::int64_t best;
  std::vector<int> index;
  const std::atomic<std::uint8_t>* stop;
  ReferenceResult* result;

  bool Stopped() const { return stop && stop->load(std::memory_order_relaxed); }

  void Search(int k, int depth, int start, std::int64_t partial) {
    const int n = static_cast<int>(sizes.size());
    for (int i = start; i < n - k + depth + 1; ++i) {
      index[depth] = i;
      const std::int64_t s = partial + sizes[i];
      if (s > capacity) continue;
      if (depth < k - 1) {
        Search(k, depth + 1, i + 1, s);
      } else if (capacity - s < best) {
        best = capacity - s;
        result->improvements.push_back({s, std::vector<int>(index.begin(), index.begin() + depth + 1)});
      }
      if (Stopped()) return;
    }
  }
};

}  // namespace

ReferenceResult ReferenceSearch(Span<const std::int64_t> sizes, std::int64_t capacity, std::int64_t bestRemainder,
                                int lower, int upper, const std::atomic<std::uint8_t>* stop) {
  ReferenceResult result{bestRemainder, {}, true};
  Reference r{sizes, capacity, bestRemainder, std::vector<int>(upper > 0 ? upper : 1), stop, &result};
  const int n = static_cast<int>(sizes.size());
  const int middle = n / 2;
  int a = middle - lower, b = middle - upper;
  for (;;) {
    const int k = std::abs(a) > std::abs(b) ? lower : upper;
    r.Search(k, 0, 0, 0);
    if (lower >= upper) break;
    if (k == lower) ++lower, --a;
    else --upper, ++b;
    if (r.Stopped()) break;
  }
  result.bestRemainder = r.best;
  result.complete = !r.Stopped();
  return result;
}
