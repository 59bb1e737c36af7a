#pragma once
// Searches in a sorted range for questions asked in order, each from the answer to the one before:
// doubling steps from there cost the logarithm of the distance moved, not of the whole range, and
// touch the memory near the last answer, which is mostly in the cache.

#include <algorithm>
#include <cstddef>
#include <cstdint>

/// The first element above `value` from `from` on, all elements before `from` being at most
/// `value`: doubling steps from there, as consecutive questions ask about values close together.
template <typename It>
It UpperBoundFrom(It from, It end, std::int64_t value) {
  std::ptrdiff_t step = 1;
  while (step < end - from && *(from + step - 1) <= value) {
    from += step;
    step *= 2;
  }
  return std::upper_bound(from, from + std::min(step, end - from), value);
}

/// The first element not below `value` before `end`, all elements from `end` on being not below
/// it: doubling steps down from there.
template <typename It>
It LowerBoundBefore(It begin, It end, std::int64_t value) {
  std::ptrdiff_t step = 1;
  while (step < end - begin && *(end - step) >= value) {
    end -= step;
    step *= 2;
  }
  return std::lower_bound(end - std::min(step, end - begin), end, value);
}
