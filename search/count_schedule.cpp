#include "search/count_schedule.h"

#include <cstdlib>

std::vector<int> CountSchedule(int lower, int upper, int n) {
  std::vector<int> counts;
  const long long middle = n / 2;
  for (;;) {
    const long long a = middle - lower, b = middle - upper;
    const int k = std::llabs(a) > std::llabs(b) ? lower : upper;
    counts.push_back(k);
    if (lower >= upper) return counts;
    if (k == lower) ++lower;
    else --upper;
  }
}
