#include "search/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "search/byte_count.h"
#include "search/plan.h"
#include "search/unit_totals.h"
#include "tests/search/reference_search.h"

namespace {

struct Recorder final : SearchListener {
  ~Recorder() = default;
  std::vector<ReferenceImprovement> improvements;
  void OnImprovement(std::int64_t total, Span<const int> indices) override {
    improvements.push_back({total, std::vector<int>(indices.begin(), indices.end())});
  }
};

struct Instance {
  std::vector<std::int64_t> sizes;
  std::int64_t capacity;
  int maxFiles;
};

// Every improvement reported is a valid combination of the planned counts, strictly better than the
// last, or as good once: the combination earlier in the search's order that replaces a quick look's.
void ExpectValidImprovements(const std::vector<std::int64_t>& sizes, const SearchPlan& plan, const Recorder& got) {
  std::int64_t last = plan.bestRemainder;
  const std::vector<int>* previous = nullptr;
  bool replaced = false;
  for (const auto& imp : got.improvements) {
    ASSERT_TRUE(std::is_sorted(imp.indices.begin(), imp.indices.end()));
    ASSERT_TRUE(std::adjacent_find(imp.indices.begin(), imp.indices.end()) == imp.indices.end());
    const int k = static_cast<int>(imp.indices.size());
    ASSERT_GE(k, std::min(plan.lower, plan.upper));
    ASSERT_LE(k, plan.upper);
    std::int64_t sum = 0;
    for (int i : imp.indices) {
      ASSERT_GE(i, 0);
      ASSERT_LT(i, static_cast<int>(sizes.size()));
      sum += sizes[i];
    }
    ASSERT_EQ(sum, imp.total);
    ASSERT_LE(sum, plan.remaining);
    const bool tie = previous && plan.remaining - sum == last;
    ASSERT_TRUE(tie ? !replaced && imp.indices != *previous : plan.remaining - sum < last);
    replaced = tie;
    last = plan.remaining - sum;
    previous = &imp.indices;
  }
}

// Runs planning, the reference and the engine; checks that the engine ends where the reference
// ends and that every improvement it reports is a valid, strictly better combination.
void ExpectSameResult(const Instance& in, SearchStrategy strategy, const char* label) {
  std::vector<std::int64_t> sizes = in.sizes;
  std::sort(sizes.rbegin(), sizes.rend());
  const SearchPlan plan = PlanSearch(sizes, in.capacity, 0, in.maxFiles);
  if (plan.refusal != PlanRefusal::kNone) return;
  const ReferenceResult ref = ReferenceSearch(sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper);

  std::atomic<std::uint8_t> stop{0};
  Recorder got;
  const SearchOutcome out =
      RunSearch(sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, stop, got, strategy);
  SCOPED_TRACE(::testing::Message() << label << " n=" << sizes.size() << " capacity=" << in.capacity
                                    << " max=" << in.maxFiles);
  ASSERT_TRUE(out.complete);
  ASSERT_EQ(out.bestRemainder, ref.bestRemainder);
  ASSERT_EQ(got.improvements.empty(), ref.improvements.empty());
  if (!ref.improvements.empty()) {
    ASSERT_EQ(got.improvements.back().indices, ref.improvements.back().indices);
  }
  ExpectValidImprovements(sizes, plan, got);
}

// Rounds of a differential test: all of them natively, a tenth (at least two) under the address
// sanitizer, where each runs some thirty times slower and the smaller tests still reach every
// strategy.
int Rounds(int native) {
#if defined(__SANITIZE_ADDRESS__)
  return std::max(native / 10, 2);
#else
  return native;
#endif
}

// Uniform draws from one seeded generator.
struct Picker {
  std::mt19937_64 rng;
  std::int64_t operator()(std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  }
};

Instance RandomInstance(std::mt19937_64& rng, int round) {
  auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  Instance in;
  const int n = static_cast<int>(pick(1, round % 5 == 0 ? 18 : 11));
  const int kind = static_cast<int>(pick(0, 4));
  for (int i = 0; i < n; ++i) {
    switch (kind) {
      case 0:
        in.sizes.push_back(pick(0, 6));
        break;  // many equal sizes and zeros
      case 1:
        in.sizes.push_back(pick(1, 1000));
        break;
      case 2:
        in.sizes.push_back(pick(0, 1) ? pick(1, 40) * 2 : 0);
        break;  // even sizes: no exact fit for odd capacities
      case 3:
        in.sizes.push_back(pick(1, 1'000'000'000'000));
        break;  // beyond 32 bits
      default:
        in.sizes.push_back(pick(0, 3) == 0 ? pick(500, 5000) : pick(1, 300));
        break;  // some larger than the capacity
    }
  }
  const std::int64_t total = std::accumulate(in.sizes.begin(), in.sizes.end(), std::int64_t{0});
  switch (pick(0, 5)) {
    case 0:
      in.capacity = pick(0, 2);
      break;
    case 1:
      in.capacity = total + pick(0, 5);
      break;
    case 2:
      in.capacity = pick(0, total) | 1;
      break;
    default:
      in.capacity = pick(0, total > 0 ? total : 1);
      break;
  }
  in.maxFiles = pick(0, 3) == 0 ? static_cast<int>(pick(1, n)) : kNoFileLimit;
  return in;
}

}  // namespace

TEST(Engine, WorkedExamples) {
  std::atomic<std::uint8_t> stop{0};
  for (SearchStrategy strategy : {SearchStrategy::kBranchAndBound, SearchStrategy::kMeetInTheMiddle}) {
    {
      const std::vector<std::int64_t> sizes = {5, 4, 3};
      Recorder r;
      EXPECT_EQ(RunSearch(sizes, 7, 2, 2, 2, stop, r, strategy).bestRemainder, 0);
      ASSERT_EQ(r.improvements.size(), 1u);
      EXPECT_EQ(r.improvements[0].indices, (std::vector<int>{1, 2}));
      EXPECT_EQ(r.improvements[0].total, 7);
    }
    {
      const std::vector<std::int64_t> sizes = {6, 5, 4, 3, 2};  // (6,2) and (5,3) both fill 8: the first stays
      Recorder r;
      RunSearch(sizes, 8, 2, 2, 2, stop, r, strategy);
      EXPECT_EQ(r.improvements.back().indices, (std::vector<int>{0, 4}));
    }
    {
      const std::vector<std::int64_t> sizes = {5, 4, 2};
      Recorder r;
      EXPECT_EQ(RunSearch(sizes, 8, 3, 2, 2, stop, r, strategy).bestRemainder, 1);
      EXPECT_EQ(r.improvements.back().indices, (std::vector<int>{0, 2}));
    }
    {
      const std::vector<std::int64_t> sizes = {10, 7, 5, 1};  // the fallback already fills it: nothing to do
      Recorder r;
      EXPECT_EQ(RunSearch(sizes, 7, 0, 2, 2, stop, r, strategy).bestRemainder, 0);
      EXPECT_TRUE(r.improvements.empty());
    }
    {
      // Equal remainders never replace the initial solution; a size equal to the capacity fits.
      const std::vector<std::int64_t> sizes = {9, 5, 4};
      Recorder r;
      RunSearch(sizes, 9, 0, 1, 2, stop, r, strategy);
      EXPECT_TRUE(r.improvements.empty());
      Recorder r2;
      EXPECT_EQ(RunSearch(sizes, 9, 9, 1, 1, stop, r2, strategy).bestRemainder, 0);
      EXPECT_EQ(r2.improvements.back().indices, (std::vector<int>{0}));
    }
  }
}

TEST(Engine, MatchesTheLiteralEnumerationOnRandomInstances) {
  std::mt19937_64 rng(20261207);
  for (int round = 0; round < Rounds(4000); ++round) {
    const Instance in = RandomInstance(rng, round);
    ExpectSameResult(in, SearchStrategy::kBranchAndBound, "branch and bound");
    ExpectSameResult(in, SearchStrategy::kMeetInTheMiddle, "meet in the middle");
    ExpectSameResult(in, SearchStrategy::kBranchThenMeet, "hand-over");
    ExpectSameResult(in, SearchStrategy::kBranchThenDecide, "tail totals");
    ExpectSameResult(in, SearchStrategy::kLeftOutThenDecide, "left out");
    ExpectSameResult(in, SearchStrategy::kReachableTotals, "reachable totals");
    ExpectSameResult(in, SearchStrategy::kUnitTotals, "unit totals");
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Engine, MatchesTheLiteralEnumerationOnLargerDenseInstances) {
  // Around twenty files of a few sizes: many combinations share totals, so ties decide the result.
  std::mt19937_64 rng(7);
  for (int round = 0; round < Rounds(60); ++round) {
    Instance in;
    const int n = 16 + round % 7;
    for (int i = 0; i < n; ++i)
      in.sizes.push_back(std::uniform_int_distribution<std::int64_t>(3, 40)(rng) * 1000 + (round % 3 == 0 ? 0 : i % 7));
    const std::int64_t total = std::accumulate(in.sizes.begin(), in.sizes.end(), std::int64_t{0});
    in.capacity = std::uniform_int_distribution<std::int64_t>(total / 4, total * 3 / 4)(rng);
    in.maxFiles = round % 4 == 0 ? 5 : kNoFileLimit;
    ExpectSameResult(in, SearchStrategy::kBranchAndBound, "branch and bound");
    ExpectSameResult(in, SearchStrategy::kMeetInTheMiddle, "meet in the middle");
    ExpectSameResult(in, SearchStrategy::kBranchThenMeet, "hand-over");
    ExpectSameResult(in, SearchStrategy::kAutomatic, "automatic");
    ExpectSameResult(in, SearchStrategy::kBranchThenDecide, "tail totals");
    ExpectSameResult(in, SearchStrategy::kLeftOutThenDecide, "left out");
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Engine, MatchesTheLiteralEnumerationOnRepeatedSizes) {
  // Split volumes, disc images, clips of one length: most files share one size, or nearly (a few
  // hundred bytes apart), beside a few others.
  Picker pick{std::mt19937_64(29)};
  for (int round = 0; round < Rounds(120); ++round) {
    Instance in;
    const int n = 12 + round % 11;
    const bool near = round % 2 == 1;
    for (int i = 0; i < n; ++i) {
      in.sizes.push_back(i < n * 3 / 4 ? 650'000'000 + (near ? pick(1, 999) : 0) : pick(50'000'000, 1'500'000'000));
    }
    const std::int64_t total = std::accumulate(in.sizes.begin(), in.sizes.end(), std::int64_t{0});
    in.capacity = round % 3 == 0 ? 4'700'372'992 : pick(total / 5, total * 4 / 5);
    in.maxFiles = round % 4 == 0 ? static_cast<int>(pick(2, n / 2)) : kNoFileLimit;
    for (SearchStrategy strategy : {SearchStrategy::kBranchAndBound, SearchStrategy::kMeetInTheMiddle,
                                    SearchStrategy::kBranchThenDecide, SearchStrategy::kLeftOutThenDecide}) {
      ExpectSameResult(in, strategy, near ? "nearly one size" : "one size");
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Engine, MatchesTheLiteralEnumerationOnSmallCollectionsOfEachBenchmarkClass) {
  // Videos filling most of a disc, whose best counts are near the largest (searched through the files
  // left out); random 31-bit sizes at half their total; sizes with a common divisor that leaves few
  // totals (the reachable-totals table); videos of which a few fill a disc; count limits over longer
  // lists.
  Picker pick{std::mt19937_64(19)};
  for (int round = 0; round < Rounds(2000); ++round) {
    Instance in;
    const int kind = round % 5;
    const int n = static_cast<int>(kind == 4 ? pick(30, 45) : pick(8, 17));
    const std::int64_t base = pick(0, 400);
    for (int i = 0; i < n; ++i) {
      if (kind == 0 || kind == 4) in.sizes.push_back(pick(100'000'000, 2'000'000'000));
      else if (kind == 1) in.sizes.push_back(pick(1, (std::int64_t{1} << 31) - 1));
      else if (kind == 2) in.sizes.push_back(50'000 * ((i % 2 ? 1005 : 1000) + 37 * (base + i / 2)));
      else in.sizes.push_back(round % 2 ? pick(50'000'000, 1'500'000'000) : pick(300'000'000, 4'000'000'000));
    }
    const std::int64_t total = std::accumulate(in.sizes.begin(), in.sizes.end(), std::int64_t{0});
    in.capacity = kind == 1   ? total / 2
                  : kind == 2 ? pick(total / 4, total * 3 / 4)
                  : kind == 3 ? (round % 2 ? 4'700'372'992 : 25'025'314'816)
                              : total * pick(40, 85) / 100;
    in.maxFiles = kind == 4 ? static_cast<int>(pick(2, 4)) : kNoFileLimit;
    for (SearchStrategy strategy :
         {SearchStrategy::kAutomatic, SearchStrategy::kBranchAndBound, SearchStrategy::kBranchThenDecide,
          SearchStrategy::kLeftOutThenDecide, SearchStrategy::kReachableTotals}) {
      ExpectSameResult(in, strategy, kind == 0 ? "videos" : kind == 1 ? "random" : kind == 2 ? "multiples" : "few");
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Engine, MatchesTheLiteralEnumerationOnMultiplesOfAUnitWithNoise) {
  // Chunks of a binary or a decimal unit with a few bytes of header each; few distinct multipliers
  // and little noise make many equal totals, so ties decide the result.
  Picker pick{std::mt19937_64(31)};
  int settled = 0;
  for (int round = 0; round < Rounds(400); ++round) {
    Instance in;
    const std::int64_t unit = round % 2 ? 1 << 20 : 2'048'000, noise = round % 3 ? pick(0, 999) : pick(0, 3);
    const int n = static_cast<int>(pick(4, 18));
    for (int i = 0; i < n; ++i) in.sizes.push_back(unit * pick(1, round % 4 ? 40 : 6) + pick(0, noise));
    const std::int64_t total = std::accumulate(in.sizes.begin(), in.sizes.end(), std::int64_t{0});
    in.capacity = pick(total / 4, total * 3 / 4) / unit * unit + pick(n * noise, unit - 1);
    in.maxFiles = round % 5 == 0 ? static_cast<int>(pick(1, n)) : kNoFileLimit;
    std::sort(in.sizes.rbegin(), in.sizes.rend());
    UnitTotals::Unit found;
    settled += UnitTotals::Find(in.sizes, in.capacity, n, found);
    ExpectSameResult(in, SearchStrategy::kUnitTotals, "unit totals");
    ExpectSameResult(in, SearchStrategy::kAutomatic, "automatic");
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GT(settled, Rounds(400) * 3 / 4);  // the table, not branch and bound, settled most
}

TEST(Engine, StrategiesAgreeBeyondTheReferencesReach) {
  // Too many files for the literal enumeration; meet in the middle (checked against it above) is
  // the yardstick for the hand-over from branch and bound.
  std::atomic<std::uint8_t> stop{0};
  std::mt19937_64 rng(11);
  for (int round = 0; round < Rounds(12); ++round) {
    const int n = 26 + round * 17 % 19;
    const bool dense = round % 2 == 0;
    std::vector<std::int64_t> sizes;
    for (int i = 0; i < n; ++i) {
      sizes.push_back(dense ? std::uniform_int_distribution<std::int64_t>(3'000'000, 10'000'000)(rng)
                            : std::uniform_int_distribution<std::int64_t>(1, (std::int64_t{1} << 31) - 1)(rng));
    }
    std::sort(sizes.rbegin(), sizes.rend());
    const std::int64_t capacity = std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0}) * (2 + round % 3) / 7;
    const SearchPlan plan = PlanSearch(sizes, capacity, 0, round % 4 == 1 ? n / 3 : kNoFileLimit);
    ASSERT_EQ(plan.refusal, PlanRefusal::kNone);
    Recorder meet, handOver, automatic, tail;
    const auto run = [&](Recorder& r, SearchStrategy s) {
      return RunSearch(sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, stop, r, s).bestRemainder;
    };
    const std::int64_t best = run(meet, SearchStrategy::kMeetInTheMiddle);
    EXPECT_EQ(run(handOver, SearchStrategy::kBranchThenMeet), best) << "round " << round;
    EXPECT_EQ(run(automatic, SearchStrategy::kAutomatic), best) << "round " << round;
    EXPECT_EQ(run(tail, SearchStrategy::kBranchThenDecide), best) << "round " << round;
    if (!meet.improvements.empty()) {
      EXPECT_EQ(handOver.improvements.back().indices, meet.improvements.back().indices) << "round " << round;
      EXPECT_EQ(automatic.improvements.back().indices, meet.improvements.back().indices) << "round " << round;
      EXPECT_EQ(tail.improvements.back().indices, meet.improvements.back().indices) << "round " << round;
    }
  }
}

TEST(Engine, HugeSizesDoNotOverflow) {
  const std::vector<std::int64_t> sizes = {INT64_MAX, INT64_MAX - 1, INT64_MAX / 2, INT64_MAX / 2, 3, 1};
  std::atomic<std::uint8_t> stop{0};
  for (SearchStrategy strategy : {SearchStrategy::kBranchAndBound, SearchStrategy::kMeetInTheMiddle}) {
    Recorder r;
    // Capacity INT64_MAX - 1: the initial solution {INT64_MAX - 1} is already exact.
    EXPECT_EQ(RunSearch(sizes, INT64_MAX - 1, 0, 2, 6, stop, r, strategy).bestRemainder, 0);
    Recorder r2;
    const std::int64_t c = INT64_MAX / 2 + 4;
    const SearchOutcome out = RunSearch(sizes, c, c - INT64_MAX / 2, 2, 4, stop, r2, strategy);
    EXPECT_EQ(out.bestRemainder, 0);
    EXPECT_EQ(r2.improvements.back().indices, (std::vector<int>{2, 4, 5}));
  }
}

// What a progress display shows: each improvement as it comes. A stop set through Stop() is set while
// no improvement is being shown, so that what was shown then can be compared with what the stopped
// search returns. With `hold`, the first improvement waits until Stop() has been called: the stop
// then meets a search that has not ended, however fast the engine.
class Display final : public SearchListener {
 public:
  Display(std::atomic<std::uint8_t>& stop, bool hold) : m_stop(stop), m_hold(hold) {}
  void OnImprovement(std::int64_t total, Span<const int> indices) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    recorder.OnImprovement(total, indices);
    m_changed.notify_all();
    if (m_hold) m_changed.wait(lock, [this] { return m_stop.load() != 0; });
  }
  // Waits for the first improvement when holding, then sets the stop flag; returns the number of
  // improvements shown by then.
  std::size_t Stop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_hold) m_changed.wait(lock, [this] { return !recorder.improvements.empty(); });
    m_stop.store(1);
    m_changed.notify_all();
    return recorder.improvements.size();
  }
  Recorder recorder;

 private:
  std::atomic<std::uint8_t>& m_stop;
  bool m_hold;
  std::mutex m_mutex;
  std::condition_variable m_changed;
};

TEST(Engine, StopsPromptlyWithTheBestSoFar) {
  // 60 sizes of 56 random bits at half their total: about as many totals as combinations, so that
  // an exact fit is unlikely and proving the least remainder takes some 2^30 steps by any known way.
  std::mt19937_64 random(100007);
  std::vector<std::int64_t> hard(60);
  for (auto& s : hard) s = std::uniform_int_distribution<std::int64_t>(1, (std::int64_t{1} << 56) - 1)(random);
  std::sort(hard.rbegin(), hard.rend());
  const SearchPlan plan =
      PlanSearch(hard, std::accumulate(hard.begin(), hard.end(), std::int64_t{0}) / 2, 0, kNoFileLimit);
  const auto run = [&](std::atomic<std::uint8_t>& stop, SearchListener& listener) {
    return RunSearch(hard, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, stop, listener);
  };

  std::atomic<std::uint8_t> stop{1};
  Recorder none;
  const SearchOutcome early = run(stop, none);
  EXPECT_FALSE(early.complete);
  EXPECT_EQ(early.bestRemainder, plan.bestRemainder);
  EXPECT_TRUE(none.improvements.empty());

  // Stopped at its first improvement (held there), in branch and bound, and once the smallest
  // files' totals are listed and a look at the densest count has found better totals: the stopped
  // search returns what was shown last, and what a look finds is shown as it is found, not first
  // when the search is stopped.
  for (int delay : {0, 20, 300}) {
    stop = 0;
    Display display(stop, delay == 0);
    std::size_t shown = 0;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      shown = display.Stop();
    });
    const SearchOutcome out = run(stop, display);
    stopper.join();
    SCOPED_TRACE(delay);
    const auto& improvements = display.recorder.improvements;
    EXPECT_FALSE(out.complete);
    ExpectValidImprovements(hard, plan, display.recorder);
    EXPECT_EQ(improvements.empty() ? plan.bestRemainder : plan.remaining - improvements.back().total,
              out.bestRemainder);
    if (delay == 300) {
      EXPECT_EQ(improvements.size(), shown);
    }
  }
}
