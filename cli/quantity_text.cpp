#include "cli/quantity_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

// What blank discs report as their room, not the nominal figures: an 80-minute CD-R reports its
// lead-out at 79:59:74, the most its pre-groove can say, which leaves 359,849 sectors after the
// two-second pregap (not the nominal 360,000); a 74-minute one at 74:00:00. DVD-R holds 2,298,496
// sectors and DVD+R 2,295,104, so "dvd" is the smaller; the same for the double layers. BD-R as
// blanks report them unformatted, without spare areas.
const DiscPreset kDiscPresets[kPresetCount] = {
    {"cd650", 332'850, "CD-R 74 min (lead-out 74:00:00)"},
    {"cd700", 359'849, "CD-R 80 min (lead-out 79:59:74)"},
    {"dvd", 2'295'104, "DVD+R; DVD-R holds 2,298,496"},
    {"dvd-dl", 4'171'712, "DVD-R DL; DVD+R DL holds 4,173,824"},
    {"dvd+dl", 4'173'824, "DVD+R DL"},
    {"bd25", 12'219'392, "BD-R"},
    {"bd50", 24'438'784, "BD-R DL"},
    {"bd100", 48'878'592, "BD-R XL, three layers"},
    {"bd128", 62'500'864, "BD-R XL, four layers"},
};

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

bool Lower(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

// The unit after a number, as a whole: a letter for the power (k, M, G, T), an 'i' for 1,024
// instead of 1,000, then an optional B; or B alone; or nothing. False for anything else.
bool ReadUnit(std::string_view text, std::int64_t& unit) {
  unit = 1;
  if (text.empty() || Lower(text, "b")) return true;
  static const char kPowers[] = "kmgt";
  const char* power = nullptr;
  for (const char* p = kPowers; *p; ++p) {
    if (std::tolower(static_cast<unsigned char>(text[0])) == *p) power = p;
  }
  if (!power) return false;
  const bool binary = text.size() > 1 && (text[1] == 'i' || text[1] == 'I');
  const std::string_view tail = text.substr(binary ? 2 : 1);
  if (!tail.empty() && !Lower(tail, "b")) return false;
  for (const char* p = kPowers; p <= power; ++p) unit *= binary ? 1024 : 1000;
  return true;
}

}  // namespace

bool ReadDigits(std::string_view text, std::int64_t& value, bool& overflow) {
  value = 0;
  overflow = false;
  if (text.empty()) return false;
  // Commas group the digits in threes from the right: "4,700,372,992", never "1,5" or ",".
  const std::size_t first = text.find(',');
  if (first != std::string_view::npos && (first == 0 || first > 3 || (text.size() - first) % 4 != 0)) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (first != std::string_view::npos && i >= first && (i - first) % 4 == 0) {
      if (c != ',') return false;
      continue;
    }
    if (!Digit(c)) return false;
    if (value > (INT64_MAX - (c - '0')) / 10) overflow = true;
    else value = value * 10 + (c - '0');
  }
  return true;
}

bool ParseCapacity(std::string_view text, std::int64_t& bytes, bool& preset, std::string& why) {
  preset = false;
  for (const DiscPreset& p : kDiscPresets) {
    if (Lower(text, p.name)) {
      bytes = p.sectors * 2048;
      preset = true;
      return true;
    }
  }
  why = "'" + std::string(text) +
        "' is not a capacity: give bytes (4,700,372,992), a number with a unit (700M, 4.7GB, 650MiB) or a preset "
        "(cd700, dvd, bd25, ...)";
  if (!text.empty() && text[0] == '-') {
    why = "'" + std::string(text) + "' is negative: a capacity is 0 bytes or more";
    return false;
  }
  std::size_t digits = 0;
  while (digits < text.size() && (Digit(text[digits]) || text[digits] == ',')) ++digits;
  bool overflow = false;
  std::int64_t whole = 0;
  if (!ReadDigits(text.substr(0, digits), whole, overflow)) return false;
  std::string_view rest = text.substr(digits);
  if (!rest.empty() && text.substr(0, digits).find(',') != std::string_view::npos) return false;  // "1,5G"
  std::string_view fraction;
  if (!rest.empty() && rest[0] == '.') {
    std::size_t end = 1;
    while (end < rest.size() && Digit(rest[end])) ++end;
    fraction = rest.substr(1, end - 1);
    rest = rest.substr(end);
    if (fraction.empty() || fraction.size() > 9) return false;
  }
  std::int64_t unit = 1;
  if (!ReadUnit(rest, unit)) return false;
  std::int64_t part = 0, scale = 1;
  for (char c : fraction) {
    part = part * 10 + (c - '0');
    scale *= 10;
  }
  if (!fraction.empty() && (static_cast<__int128>(part) * unit) % scale != 0) {
    why = "'" + std::string(text) + "' is not a whole number of bytes";
    // A fraction without a unit is most likely gigabytes left out: "-c 4.7".
    if (unit == 1 && whole < 1000) why += ": give a unit, as in " + std::string(text) + "G, or a preset such as dvd";
    return false;
  }
  const __int128 value = static_cast<__int128>(whole) * unit + static_cast<__int128>(part) * unit / scale;
  if (overflow || value > INT64_MAX) {
    why = "'" + std::string(text) + "' is too large";
    return false;
  }
  bytes = static_cast<std::int64_t>(value);
  return true;
}

bool ParseCount(std::string_view text, std::int64_t largest, std::int64_t& value, std::string& why) {
  bool overflow = false;
  if (!ReadDigits(text, value, overflow)) {
    why = "'" + std::string(text) + "' is not a whole number";
    return false;
  }
  if (overflow || value > largest) {
    why = "'" + std::string(text) + "' is too large (at most " + std::to_string(largest) + ")";
    return false;
  }
  return true;
}

bool ParseSeconds(std::string_view text, double& seconds, std::string& why) {
  const std::string s(text);
  char* end = nullptr;
  seconds = s.empty() || !(Digit(s[0]) || s[0] == '.') ? NAN : std::strtod(s.c_str(), &end);
  if (!(seconds > 0) || !end || *end != '\0' || seconds > 365.0 * 24 * 3600) {
    why = "'" + s + "' is not a number of seconds above 0 (and at most a year)";
    return false;
  }
  return true;
}
