#pragma once
// The capacities, counts and times given to zumibo-fit on its command line. Each parser returns
// false with a short reason for anything it does not read as a whole.

#include <cstdint>
#include <string>
#include <string_view>

struct DiscPreset {
  const char* name;
  std::int64_t sectors;  ///< of 2,048 bytes
  const char* what;
};

/// The recordable media, smallest first, with the sectors blank discs report.
constexpr int kPresetCount = 9;
extern const DiscPreset kDiscPresets[kPresetCount];

/// Digits, grouped in threes by commas or not at all ("4,700,372,992", "4700372992"); false
/// for anything else. `overflow` tells a value past INT64_MAX, which is not read.
bool ReadDigits(std::string_view text, std::int64_t& value, bool& overflow);

/// A preset name, a byte count with optional comma grouping ("4,700,372,992"), or a number
/// with a unit: k, M, G, T (powers of 1,000, with or without a B) or KiB, MiB, GiB, TiB (powers
/// of 1,024), such as "700M", "4.7GB", "650MiB". `preset` tells whether a preset was named.
bool ParseCapacity(std::string_view text, std::int64_t& bytes, bool& preset, std::string& why);

/// A whole number from 0 to `largest`, with optional comma grouping.
bool ParseCount(std::string_view text, std::int64_t largest, std::int64_t& value, std::string& why);

/// A number of seconds above 0 and at most a year ("0.5", "90").
bool ParseSeconds(std::string_view text, double& seconds, std::string& why);
