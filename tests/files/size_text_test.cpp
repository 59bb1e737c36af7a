#include "files/size_text.h"

#include <cstdint>
#include <gtest/gtest.h>

TEST(FormatNumber, GroupsEveryThreeDigitsAndGivesEmptyTextForZero) {
  const struct {
    std::int64_t value;
    const char* text;
  } cases[] = {
      {0, ""},
      {7, "7"},
      {100, "100"},
      {999, "999"},
      {1000, "1,000"},
      {1234, "1,234"},
      {123456, "123,456"},
      {1000000, "1,000,000"},
      {12345678, "12,345,678"},
      {4700372992, "4,700,372,992"},
      {100000000000000000, "100,000,000,000,000,000"},
      {INT64_MAX, "9,223,372,036,854,775,807"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value, true), c.text) << c.value;
}

TEST(FormatNumber, UngroupedAndNegative) {
  EXPECT_EQ(FormatNumber(1234, false), "1234");
  EXPECT_EQ(FormatNumber(0, false), "");
  EXPECT_EQ(FormatNumber(-1234567, true), "-1,234,567");
  EXPECT_EQ(FormatNumber(INT64_MIN, true), "-9,223,372,036,854,775,808");
}
