#include "search/byte_count.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::int64_t ParseByteCount(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  while (i < text.size() && !IsDigit(text[i])) {
    if (text[i] == '-') negative = true;
    ++i;
  }
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && (IsDigit(text[i]) || text[i] == ','); ++i) {
    if (text[i] == ',') continue;
    const int digit = text[i] - '0';
    if (value > (INT64_MAX - digit) / 10) saturated = true;
    if (saturated) continue;
    value = value * 10 + digit;
  }
  if (saturated) value = INT64_MAX;
  return negative ? -value : value;
}

int ParseMaxFileCount(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kNoFileLimit) value = kNoFileLimit;
  }
  if (negative || value <= 0) return kNoFileLimit;
  return static_cast<int>(value);
}
