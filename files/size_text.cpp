#include "files/size_text.h"

#include <algorithm>

std::string FormatNumber(std::int64_t value, bool grouped) {
  // Work on the magnitude as unsigned so that the most negative value has one too.
  std::uint64_t v = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::string text;
  for (int k = 1; v != 0; ++k, v /= 10) {
    text.push_back(static_cast<char>('0' + v % 10));
    if (grouped && k % 3 == 0 && v >= 10) text.push_back(',');
  }
  if (value < 0) text.push_back('-');
  std::reverse(text.begin(), text.end());
  return text;
}
