#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "search/byte_count.h"
#include "search/count_schedule.h"
#include "search/plan.h"

TEST(ParseByteCount, DigitsCommasSignsAndSaturation) {
  EXPECT_EQ(ParseByteCount("4,700,372,992"), 4700372992);
  EXPECT_EQ(ParseByteCount("1,000"), 1000);
  EXPECT_EQ(ParseByteCount("  abc123xyz"), 123);
  EXPECT_EQ(ParseByteCount("12 34"), 12);
  EXPECT_EQ(ParseByteCount("5-3"), 5);
  EXPECT_EQ(ParseByteCount("-700"), -700);
  EXPECT_EQ(ParseByteCount("x-y 7"), -7);
  EXPECT_EQ(ParseByteCount(""), 0);
  EXPECT_EQ(ParseByteCount("バイト"), 0);
  EXPECT_EQ(ParseByteCount("１２３"), 0);  // full-width digits are not digits
  EXPECT_EQ(ParseByteCount("1,,2,"), 12);
  EXPECT_EQ(ParseByteCount("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(ParseByteCount("9223372036854775808"), INT64_MAX);
  EXPECT_EQ(ParseByteCount("99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(ParseByteCount("-99999999999999999999999"), -INT64_MAX);
}

TEST(ParseMaxFileCount, EmptyZeroAndNegativeMeanNoLimit) {
  EXPECT_EQ(ParseMaxFileCount("20"), 20);
  EXPECT_EQ(ParseMaxFileCount("  \t+7files"), 7);
  EXPECT_EQ(ParseMaxFileCount("1"), 1);
  EXPECT_EQ(ParseMaxFileCount(""), kNoFileLimit);
  EXPECT_EQ(ParseMaxFileCount("abc"), kNoFileLimit);
  EXPECT_EQ(ParseMaxFileCount("0"), kNoFileLimit);
  EXPECT_EQ(ParseMaxFileCount("-5"), kNoFileLimit);
  EXPECT_EQ(ParseMaxFileCount("1,000"), 1);
  EXPECT_EQ(ParseMaxFileCount("99999999999999999999"), INT_MAX);
}

TEST(CountSchedule, FromTheExtremesInwardWithTiesToTheLargerCount) {
  EXPECT_EQ(CountSchedule(1, 10, 10), (std::vector<int>{10, 9, 1, 8, 2, 7, 3, 6, 4, 5}));
  EXPECT_EQ(CountSchedule(2, 6, 10), (std::vector<int>{2, 3, 6, 4, 5}));
  EXPECT_EQ(CountSchedule(1, 7, 7), (std::vector<int>{7, 6, 5, 1, 4, 2, 3}));
  EXPECT_EQ(CountSchedule(2, 2, 3), (std::vector<int>{2}));
  EXPECT_EQ(CountSchedule(5, 3, 10), (std::vector<int>{3}));  // lower above upper: one count
  const std::vector<int> wide = CountSchedule(1, 20000, 20000);
  EXPECT_EQ(wide.size(), 20000u);
}

namespace {

SearchPlan Plan(std::vector<std::int64_t> sizes, std::int64_t capacity, std::int64_t pinned = 0,
                int maxFiles = kNoFileLimit) {
  return PlanSearch(sizes, capacity, pinned, maxFiles);
}

}  // namespace

TEST(PlanSearch, WorkedExamples) {
  {
    const SearchPlan p = Plan({5, 4, 3}, 7);
    EXPECT_EQ(p.refusal, PlanRefusal::kNone);
    EXPECT_EQ(p.initial, (std::vector<int>{0}));
    EXPECT_EQ(p.greedyTotal, 5);
    EXPECT_EQ(p.bestRemainder, 2);
    EXPECT_EQ(p.lower, 2);
    EXPECT_EQ(p.upper, 2);
  }
  {
    const SearchPlan p = Plan({12, 7, 2}, 10);  // greedy takes nothing; the fallback takes 7
    EXPECT_EQ(p.initial, (std::vector<int>{1}));
    EXPECT_EQ(p.greedyTotal, 0);
    EXPECT_EQ(p.bestRemainder, 3);
    EXPECT_EQ(p.lower, 2);
    EXPECT_EQ(p.upper, 2);
  }
  {
    const SearchPlan p = Plan({10, 7, 5, 1}, 7);
    EXPECT_EQ(p.initial, (std::vector<int>{1}));
    EXPECT_EQ(p.bestRemainder, 0);
  }
  {
    const SearchPlan p = Plan({500, 400, 100}, 1000, 300);
    EXPECT_EQ(p.remaining, 700);
    EXPECT_EQ(p.initial, (std::vector<int>{0}));
    EXPECT_EQ(p.bestRemainder, 200);
  }
}

TEST(PlanSearch, CountsAndLimits) {
  {
    const SearchPlan p = Plan({5}, 9);  // one file that fits
    EXPECT_EQ(p.lower, 1);
    EXPECT_EQ(p.upper, 1);
  }
  {
    const SearchPlan p = Plan({5, 4, 3, 2}, 20, 0, 2);  // all fit; the limit caps only the search
    EXPECT_EQ(p.initial, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(p.bestRemainder, 6);
    EXPECT_EQ(p.lower, 2);
    EXPECT_EQ(p.upper, 2);
  }
  {
    const SearchPlan p = Plan({5, 4, 3, 2}, 20);
    EXPECT_EQ(p.lower, 4);
    EXPECT_EQ(p.upper, 4);
  }
  {
    const SearchPlan p = Plan({9, 9, 1, 1, 1}, 10, 0, 1);
    EXPECT_EQ(p.lower, 1);
    EXPECT_EQ(p.upper, 1);
  }
}

TEST(PlanSearch, Refusals) {
  EXPECT_EQ(Plan({1}, 100, 101).refusal, PlanRefusal::kPinnedOverCapacity);
  EXPECT_EQ(Plan({1}, -5).refusal, PlanRefusal::kPinnedOverCapacity);  // a negative capacity, nothing pinned
  EXPECT_EQ(Plan({}, 100).refusal, PlanRefusal::kNoFiles);
  EXPECT_EQ(Plan({}, 100, 100).refusal, PlanRefusal::kNoFiles);
  EXPECT_EQ(Plan({200, 150}, 100).refusal, PlanRefusal::kNothingFits);
  EXPECT_EQ(Plan({5, 3}, 100, 100).refusal, PlanRefusal::kNothingFits);  // pinned fill the capacity exactly
  {
    const SearchPlan p = Plan({5, 0}, 100, 100);  // ... unless a file of size 0 is there
    EXPECT_EQ(p.refusal, PlanRefusal::kNone);
    EXPECT_EQ(p.initial, (std::vector<int>{1}));
    EXPECT_EQ(p.bestRemainder, 0);
  }
  {
    const SearchPlan p = Plan({0, 0}, 0);  // a capacity without digits still computes with empty files
    EXPECT_EQ(p.refusal, PlanRefusal::kNone);
    EXPECT_EQ(p.initial, (std::vector<int>{0, 1}));
  }
  const SearchPlan huge = Plan({INT64_MAX, INT64_MAX}, INT64_MAX);
  EXPECT_EQ(huge.initial, (std::vector<int>{0}));
  EXPECT_EQ(huge.bestRemainder, 0);
}
