// Prints, per instance class, the engine's time and the literal enumeration's time measured in
// the same run (where the literal one can finish), their ratio, and whether both ended on the same
// combination; then the engine over many seeds of random sizes and of videos on discs, a check
// against the literal enumeration on seeded instances it can finish, and how soon a stop is
// answered. Times are the searching thread's CPU time, so that other work on the machine counts
// little.
//   zumibo-search-bench [--reference-limit SEC] [--engine-limit SEC] [--runs N] [--seeds N]
//                       [--checks N] [--filter TEXT] [--count N] [--seed S]
// --filter runs only the classes, seeded classes and checks whose names hold TEXT; --count and
// --seed run only that number of files and that seed of the seeded classes.

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "bench/instances.h"
#include "search/byte_count.h"
#include "search/engine.h"
#include "search/plan.h"
#include "tests/search/reference_search.h"

// Allocation accounting, to report the engine's peak memory and allocation count.
namespace {
std::atomic<long long> g_liveBytes{0}, g_peakBytes{0}, g_allocations{0};
}  // namespace

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  const long long live = g_liveBytes += static_cast<long long>(malloc_usable_size(p));
  long long peak = g_peakBytes.load();
  while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
  }
  ++g_allocations;
  return p;
}
void operator delete(void* p) noexcept {
  if (p) g_liveBytes -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of the calling thread: the deadline's thread only sleeps.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct LastResult final : SearchListener {
  std::vector<int> indices;
  std::int64_t total = -1;
  int count = 0;
  void OnImprovement(std::int64_t t, Span<const int> i) override {
    total = t;
    indices.assign(i.begin(), i.end());
    ++count;
  }
};

// Sets the flag after `seconds`, unless cancelled first.
class Deadline {
 public:
  Deadline(std::atomic<std::uint8_t>& flag, double seconds)
      : m_thread([this, &flag, seconds] {
          const auto end =
              Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
          while (!m_cancel.load() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
          if (!m_cancel.load()) flag.store(1, std::memory_order_relaxed);
        }) {}
  ~Deadline() {
    m_cancel = true;
    m_thread.join();
  }

 private:
  std::atomic<bool> m_cancel{false};
  std::thread m_thread;
};

std::string Millis(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, s < 0.01 ? "%.3f ms" : "%.1f ms", s * 1000);
  return buf;
}

struct EngineRun {
  LastResult got;
  SearchOutcome outcome;
  double seconds = 0;
  long long peak = 0;  // bytes
  long long allocations = 0;
};

// The engine on one instance, with its memory and allocation count, stopped after `limit` seconds.
EngineRun RunEngine(const std::vector<std::int64_t>& sizes, const SearchPlan& plan, double limit) {
  EngineRun run;
  std::atomic<std::uint8_t> stop{0};
  Deadline deadline(stop, limit);
  const long long liveBefore = g_liveBytes.load(), allocationsBefore = g_allocations.load();
  g_peakBytes = liveBefore;
  const double start = CpuSeconds();
  run.outcome = RunSearch(sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, stop, run.got);
  run.seconds = CpuSeconds() - start;
  run.peak = g_peakBytes.load() - liveBefore;
  run.allocations = g_allocations.load() - allocationsBefore;
  return run;
}

struct Check {
  bool finished;  // the literal enumeration ended within its limit
  bool same;      // and both ended on the same combination and remainder
  double seconds;
};

// The literal enumeration on one instance within `limit` seconds, against the engine's result.
Check AgainstLiteral(const std::vector<std::int64_t>& sizes, const SearchPlan& plan, const EngineRun& engine,
                     double limit) {
  std::atomic<std::uint8_t> stop{0};
  ReferenceResult ref;
  double seconds;
  {
    Deadline deadline(stop, limit);
    const double start = CpuSeconds();
    ref = ReferenceSearch(sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, &stop);
    seconds = CpuSeconds() - start;
  }
  if (!ref.complete) return {false, false, seconds};
  const std::vector<int>& refFinal = ref.improvements.empty() ? plan.initial : ref.improvements.back().indices;
  const std::vector<int>& engineFinal = engine.got.count ? engine.got.indices : plan.initial;
  return {true, engine.outcome.complete && refFinal == engineFinal && ref.bestRemainder == engine.outcome.bestRemainder,
          seconds};
}

struct Options {
  double referenceLimit = 60;
  double engineLimit = 600;
  int runs = 3;
  int seeds = 10;
  int checks = 10;
  int count = 0;  // only this number of files in the seeded classes; 0 for all
  int seed = 0;   // only this seed in the seeded classes; 0 for all
  std::string filter;
};

void PrintClasses(const Options& o) {
  std::printf("%-46s %8s %14s %14s %10s %9s  %s\n", "class", "result", "engine", "reference", "speed-up", "same",
              "notes");
  double logSum = 0;
  int ratios = 0;
  for (const BenchInstance& in : BenchInstances()) {
    if (!o.filter.empty() && in.name.find(o.filter) == std::string::npos) continue;
    const SearchPlan plan = PlanSearch(in.sizes, in.capacity, 0, in.maxFiles);

    // Engine: best of the runs, with its memory measured on the first.
    EngineRun engine, first;
    double best = 1e100;
    for (int run = 0; run < o.runs; ++run) {
      engine = RunEngine(in.sizes, plan, o.engineLimit);
      if (run == 0) first = engine;
      best = std::min(best, engine.seconds);
    }

    char result[32];
    std::snprintf(result, sizeof result, "r=%lld", static_cast<long long>(engine.outcome.bestRemainder));
    std::string notes = "n=" + std::to_string(in.sizes.size()) + " counts " + std::to_string(plan.lower) + ".." +
                        std::to_string(plan.upper) + ", " + std::to_string(engine.got.count) + " improvements, peak " +
                        std::to_string(first.peak / 1024) + " KiB in " + std::to_string(first.allocations) +
                        " allocations";
    if (!engine.outcome.complete) notes += ", ENGINE STOPPED";
    const Check ref = in.literal ? AgainstLiteral(in.sizes, plan, engine, o.referenceLimit) : Check{false, false, 0};
    if (ref.finished) {
      const double ratio = ref.seconds / best;
      logSum += std::log(ratio);
      ++ratios;
      char speed[32];
      std::snprintf(speed, sizeof speed, "%.0fx", ratio);
      std::printf("%-46s %8s %14s %14s %10s %9s  %s\n", in.name.c_str(), result, Millis(best).c_str(),
                  Millis(ref.seconds).c_str(), speed, ref.same ? "yes" : "NO", notes.c_str());
    } else {
      const std::string reference =
          in.literal ? "> " + std::to_string(static_cast<int>(o.referenceLimit)) + " s" : "not run";
      std::printf("%-46s %8s %14s %14s %10s %9s  %s\n", in.name.c_str(), result, Millis(best).c_str(),
                  reference.c_str(), "-", "-", notes.c_str());
    }
    std::fflush(stdout);
  }
  if (ratios)
    std::printf("\ngeometric-mean speed-up over %d classes the reference finished: %.0fx\n", ratios,
                std::exp(logSum / ratios));
}

// The worst of the benchmark's seeds of each seeded class with the engine before this round
// (commit 18de927), the best of three runs of this benchmark on the project's two-core machine,
// shared, alternating with the engine of this round; runs stopped after 10 s are marked unfinished.
struct Before {
  const char* name;
  int n;
  double worst;  // milliseconds
  bool stopped;
};
constexpr const char* kBeforeCommit = "18de927";
constexpr Before kBefore[] = {
    {"random 31-bit, half the total", 46, 49.0, false},
    {"random 31-bit, half the total", 50, 55.1, false},
    {"random 31-bit, half the total", 55, 57.2, false},
    {"random 31-bit, half the total", 60, 115.2, false},
    {"random 31-bit, half the total", 65, 64.1, false},
    {"random 31-bit, half the total", 70, 120.4, false},
    {"random 31-bit, half the total", 80, 141.8, false},
    {"random 31-bit, half the total", 100, 175.3, false},
    {"random 31-bit, half the total", 120, 230.3, false},
    {"random 31-bit, half the total", 150, 270.5, false},
    {"random 31-bit, half the total", 200, 282.9, false},
    {"random 31-bit, half the total", 250, 174.4, false},
    {"random 31-bit, half the total", 300, 157.9, false},
    {"videos 100 MB-2 GB, BD 50", 60, 23.1, false},
    {"videos 100 MB-2 GB, BD 50", 80, 135.5, false},
    {"videos 100 MB-2 GB, BD 50", 100, 64.8, false},
    {"videos 100 MB-2 GB, BD 50", 120, 28.5, false},
    {"videos 100 MB-2 GB, BD 50", 150, 33.9, false},
    {"videos 100 MB-2 GB, BD 50", 200, 79.0, false},
    {"videos 100 MB-2 GB, BD 100", 100, 52.0, false},
    {"videos 100 MB-2 GB, BD 100", 125, 120.3, false},
    {"videos 100 MB-2 GB, BD 100", 150, 396.6, false},
    {"videos 100 MB-2 GB, BD 100", 200, 85.7, false},
    {"videos 100 MB-2 GB, BD 100", 300, 85.5, false},
    {"videos 50 MB-1.5 GB, DVD", 20, 0.06, false},
    {"videos 50 MB-1.5 GB, DVD", 30, 0.7, false},
    {"videos 50 MB-1.5 GB, DVD", 40, 29.2, false},
    {"videos 50 MB-1.5 GB, DVD", 46, 12.3, false},
    {"videos 50 MB-1.5 GB, DVD", 47, 14.2, false},
    {"videos 50 MB-1.5 GB, DVD", 48, 16.7, false},
    {"videos 50 MB-1.5 GB, DVD", 49, 13.4, false},
    {"videos 50 MB-1.5 GB, DVD", 50, 14.5, false},
    {"videos 50 MB-1.5 GB, DVD", 51, 13.9, false},
    {"videos 50 MB-1.5 GB, DVD", 52, 18.2, false},
    {"videos 50 MB-1.5 GB, DVD", 53, 16.1, false},
    {"videos 50 MB-1.5 GB, DVD", 54, 26.1, false},
    {"videos 50 MB-1.5 GB, DVD", 55, 28.4, false},
    {"videos 50 MB-1.5 GB, DVD", 56, 27.8, false},
    {"videos 50 MB-1.5 GB, DVD", 57, 24.3, false},
    {"videos 50 MB-1.5 GB, DVD", 58, 27.1, false},
    {"videos 50 MB-1.5 GB, DVD", 59, 33.6, false},
    {"videos 50 MB-1.5 GB, DVD", 60, 28.8, false},
    {"videos 50 MB-1.5 GB, DVD", 70, 78.7, false},
    {"videos 50 MB-1.5 GB, DVD", 80, 61.3, false},
    {"videos 50 MB-1.5 GB, DVD", 100, 13.7, false},
    {"videos 50 MB-1.5 GB, DVD", 150, 17.3, false},
    {"videos 300 MB-4 GB, BD 25", 30, 3.1, false},
    {"videos 300 MB-4 GB, BD 25", 40, 73.5, false},
    {"videos 300 MB-4 GB, BD 25", 50, 75.8, false},
    {"videos 300 MB-4 GB, BD 25", 60, 39.8, false},
    {"videos 300 MB-4 GB, BD 25", 70, 29.5, false},
    {"videos 300 MB-4 GB, BD 25", 80, 21.5, false},
    {"videos 300 MB-4 GB, BD 25", 100, 25.6, false},
    {"videos 300 MB-4 GB, BD 25", 150, 18.5, false},
    {"songs 3-10 MB, CD 700", 100, 0.004, false},
    {"songs 3-10 MB, CD 700", 150, 4.6, false},
    {"songs 3-10 MB, CD 700", 300, 0.4, false},
    {"songs 3-10 MB, CD 700", 1000, 0.3, false},
    {"photos 1.5-8 MB, BD 25", 2000, 0.04, false},
    {"photos 1.5-8 MB, BD 25", 20000, 0.5, false},
    {"mixed folder 1 KB-2 GB, CD 700", 100, 0.5, false},
    {"mixed folder 1 KB-2 GB, CD 700", 1000, 1.6, false},
    {"mixed folder 1 KB-2 GB, CD 700", 10000, 0.2, false},
    {"mixed folder 1 KB-2 GB, BD 100", 100, 0.004, false},
    {"mixed folder 1 KB-2 GB, BD 100", 1000, 374.1, false},
    {"mixed folder 1 KB-2 GB, BD 100", 10000, 294.9, false},
    {"two progressions, DVD", 250, 96.3, false},
    {"two progressions, DVD", 285, 155.8, false},
    {"two progressions, DVD", 300, 151.7, false},
    {"two progressions, DVD", 500, 244.4, false},
    {"two progressions, DVD", 1000, 406.6, false},
    {"1 MiB x (100-1,999) + 0-999 B, DVD", 200, 11.5, false},
    {"2,048,000 x (50-1,499) + 0-99 B, BD 25", 60, 13.1, false},
    {"just over DVD / (2-9) + 1-999 B", 1000, 359.2, false},
};

std::string BeforeText(const std::string& name, int n) {
  for (const Before& b : kBefore) {
    if (name == b.name && n == b.n) return b.stopped ? "unfinished" : Millis(b.worst / 1000);
  }
  return "-";
}

// Each seeded class over many seeds (one run per seed): median and worst, beside the worst before.
void PrintSeededClasses(const Options& o) {
  std::printf("\nseeded classes, %d seeds per size unless named (one run per seed; before: worst with commit %s):\n",
              o.seeds, kBeforeCommit);
  for (const SeededClass& c : SeededClasses()) {
    if (!o.filter.empty() && c.name.find(o.filter) == std::string::npos) continue;
    const int seeds = c.seeds ? std::min(c.seeds, o.seeds) : o.seeds;
    const double limit = c.limit ? std::min(c.limit, o.engineLimit) : o.engineLimit;
    for (int n : c.counts) {
      if (o.count && n != o.count) continue;
      std::vector<double> times;
      int worstSeed = 0, stopped = 0;
      long long peak = 0;
      for (int seed = 1; seed <= seeds; ++seed) {
        if (o.seed && seed != o.seed) continue;
        const BenchInstance in = c.make(n, c.seedBase + static_cast<std::uint64_t>(n) * 1000 + seed);
        const EngineRun run = RunEngine(in.sizes, PlanSearch(in.sizes, in.capacity, 0, kNoFileLimit), limit);
        if (times.empty() || run.seconds > *std::max_element(times.begin(), times.end())) worstSeed = seed;
        times.push_back(run.seconds);
        peak = std::max(peak, run.peak);
        stopped += !run.outcome.complete;
      }
      std::sort(times.begin(), times.end());
      std::printf("  %-38s n=%-5d %2d seeds: median %10s   worst %10s (seed %2d)   before %10s   peak %lld KiB",
                  c.name.c_str(), n, seeds, Millis(times[times.size() / 2]).c_str(), Millis(times.back()).c_str(),
                  worstSeed, BeforeText(c.name, n).c_str(), peak / 1024);
      if (stopped) std::printf(", %d STOPPED at %.0f s", stopped, limit);
      std::printf("\n");
      std::fflush(stdout);
    }
  }
}

BenchInstance WithLimit(BenchInstance in, int maxFiles) {
  in.maxFiles = maxFiles;
  return in;
}

// The engine against the literal enumeration on seeded instances beyond meet in the middle's
// reach that the literal one can still finish: files of one size and of nearly one size, and
// count limits over videos and random sizes.
void PrintDifferential(const Options& o) {
  std::printf("\nagainst the literal enumeration, %d seeded instances per class:\n", o.checks);
  struct Class {
    const char* name;
    BenchInstance (*make)(int round);
  };
  const Class classes[] = {
      {"one size 650 MB, DVD, n=46..50",
       [](int round) { return OneSizeInstance(46 + round % 5, 9000 + round, false); }},
      {"nearly one size 650 MB, DVD, n=46..55",
       [](int round) { return OneSizeInstance(46 + round % 10, 9100 + round, true); }},
      {"nearly one size, DVD, n=60..100, at most 6 files",
       [](int round) { return WithLimit(OneSizeInstance(60 + round % 41, 9200 + round, true), 6); }},
      {"videos 50 MB-1.5 GB, DVD, n=46..60, at most 5 files",
       [](int round) {
         return WithLimit({"", UniformSizes(46 + round % 15, 50'000'000, 1'500'000'000, 9300 + round), kDvd}, 5);
       }},
      {"two progressions, DVD, n=60..100, at most 4 files",
       [](int round) { return WithLimit(TwoProgressions(60 + round * 4 % 41, 9500 + round), 4); }},
      {"1 MiB x q + 0-999 B, DVD, n=46..60, at most 5 files",
       [](int round) {
         return WithLimit(MultiplesPlusNoise(46 + round % 15, 9600 + round, 1 << 20, 100, 1999, 999, kDvd), 5);
       }},
      {"random 31-bit, 2^32, n=46..55, at most 4 files",
       [](int round) {
         return WithLimit(
             {"", UniformSizes(46 + round % 10, 1, (std::int64_t{1} << 31) - 1, 9400 + round), std::int64_t{1} << 32},
             4);
       }},
  };
  for (const Class& c : classes) {
    if (!o.filter.empty() && std::string(c.name).find(o.filter) == std::string::npos) continue;
    int same = 0, finished = 0;
    double engine = 0, literal = 0;
    for (int round = 0; round < o.checks; ++round) {
      const BenchInstance in = c.make(round);
      const SearchPlan plan = PlanSearch(in.sizes, in.capacity, 0, in.maxFiles);
      const EngineRun run = RunEngine(in.sizes, plan, o.engineLimit);
      const Check check = AgainstLiteral(in.sizes, plan, run, o.referenceLimit);
      finished += check.finished;
      same += check.same;
      engine += run.seconds;
      literal += check.seconds;
    }
    std::printf("  %-52s identical on %d of %d the literal one finished (engine %s, literal %s in all)\n", c.name, same,
                finished, Millis(engine).c_str(), Millis(literal).c_str());
    std::fflush(stdout);
  }
}

// How long a stop takes to be seen, on searches that would run far longer.
void PrintStopLatency() {
  std::printf("\nstop latency (flag set after 50 ms, time until the search returned):\n");
  struct Hard {
    std::string name;
    std::vector<std::int64_t> sizes;
    std::int64_t capacity;  // 0: half the total, plus one
  };
  // Random 48-bit sizes have about as many combinations as totals: their searches take seconds.
  const std::int64_t bits48 = (std::int64_t{1} << 48) - 1;
  const Hard hard[] = {
      {"random 48-bit n=44 (meet in the middle)", UniformSizes(44, 1, bits48, 44), 0},
      {"random 48-bit n=60 (tail totals)", UniformSizes(60, 1, bits48, 60), 0},
      {"random 48-bit n=400 (tail totals, left out)", UniformSizes(400, 1, bits48, 400), 0},
      {"structured, n=2000 (reachable totals)", StructuredInstance(1000).sizes, kDvd},
      {"videos 50 MB-1.5 GB n=20000", UniformSizes(20000, 50'000'000, 1'500'000'000, 20001), 0},
  };
  for (const Hard& h : hard) {
    std::int64_t total = 0;
    for (std::int64_t x : h.sizes) total += x;
    const SearchPlan plan = PlanSearch(h.sizes, h.capacity ? h.capacity : total / 2 + 1, 0, kNoFileLimit);
    std::atomic<std::uint8_t> stop{0};
    LastResult got;
    Clock::time_point stopped;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      stopped = Clock::now();
      stop.store(1, std::memory_order_relaxed);
    });
    const SearchOutcome out = RunSearch(h.sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, stop, got);
    const auto returned = Clock::now();
    stopper.join();
    if (out.complete) std::printf("  %-44s ended by itself before the stop\n", h.name.c_str());
    else std::printf("  %-44s %s\n", h.name.c_str(), Millis(Seconds(returned - stopped)).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (!std::strcmp(argv[i], "--reference-limit")) o.referenceLimit = std::atof(value), ++i;
    else if (!std::strcmp(argv[i], "--engine-limit")) o.engineLimit = std::atof(value), ++i;
    else if (!std::strcmp(argv[i], "--runs")) o.runs = std::max(1, std::atoi(value)), ++i;
    else if (!std::strcmp(argv[i], "--seeds")) o.seeds = std::max(1, std::atoi(value)), ++i;
    else if (!std::strcmp(argv[i], "--checks")) o.checks = std::atoi(value), ++i;
    else if (!std::strcmp(argv[i], "--filter")) o.filter = value, ++i;
    else if (!std::strcmp(argv[i], "--count")) o.count = std::atoi(value), ++i;
    else if (!std::strcmp(argv[i], "--seed")) o.seed = std::atoi(value), ++i;
  }
  PrintClasses(o);
  PrintSeededClasses(o);
  PrintDifferential(o);
  if (o.filter.empty()) PrintStopLatency();
  return 0;
}
