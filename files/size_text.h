#pragma once

#include <cstdint>
#include <string>

/// Decimal digits of a count, with a comma every three digits when grouped. 0 gives the empty
/// text (callers append "バイト" or "個" themselves). A negative value gets a leading '-'.
std::string FormatNumber(std::int64_t value, bool grouped);
