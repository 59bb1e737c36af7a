#pragma once

#include <cstdint>
#include <string_view>

/// The capacity text as a byte count: characters before the first ASCII digit are skipped
/// (a '-' among them makes the value negative), then digits are read with every ',' between
/// them skipped, up to the first other character. No digit gives 0. A value beyond 64 bits
/// saturates at INT64_MAX (or -INT64_MAX).
std::int64_t ParseByteCount(std::string_view text);

/// Marks "no limit" on the number of files in a combination.
constexpr int kNoFileLimit = 0x7FFFFFFF;

/// The maximum file count text as a number, read like the C library's decimal conversion
/// (leading white space, an optional sign, digits up to the first other character). Empty,
/// non-numeric, zero and negative texts mean no limit; values above INT_MAX clamp to it.
int ParseMaxFileCount(std::string_view text);
