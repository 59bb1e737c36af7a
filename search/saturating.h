#pragma once

#include <cstdint>

/// a + b for non-negative a and b, saturating at INT64_MAX.
inline std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) { return a > INT64_MAX - b ? INT64_MAX : a + b; }
