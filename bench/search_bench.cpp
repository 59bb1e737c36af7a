// Prints, per instance class, the engine's time and the literal enumeration's time measured in
// the same run, their ratio, and whether both ended on the same combination.
//   zumibo-search-bench [--reference-limit SEC] [--filter TEXT]

#include <malloc.h>

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
  while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {}
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
          const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
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

}  // namespace

int main(int argc, char** argv) {
  double referenceLimit = 60;
  std::string filter;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--reference-limit") && i + 1 < argc) referenceLimit = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--filter") && i + 1 < argc) filter = argv[++i];
  }

  std::printf("%-46s %8s %14s %14s %10s %9s  %s\n", "class", "result", "engine", "reference", "speed-up", "same", "notes");
  double logSum = 0;
  int ratios = 0;
  for (const BenchInstance& in : BenchInstances()) {
    if (!filter.empty() && in.name.find(filter) == std::string::npos) continue;
    const SearchPlan plan = PlanSearch(in.sizes, in.capacity, 0, kNoFileLimit);

    // Engine: best of three runs, with its memory measured on the first.
    double engine = 1e100;
    LastResult got;
    SearchOutcome outcome;
    long long peak = 0, allocations = 0;
    for (int run = 0; run < 3; ++run) {
      got = LastResult();
      std::atomic<std::uint8_t> stop{0};
      Deadline limit(stop, 600);
      const long long liveBefore = g_liveBytes.load(), allocationsBefore = g_allocations.load();
      g_peakBytes = liveBefore;
      const auto start = Clock::now();
      outcome = RunSearch(in.sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, stop, got);
      engine = std::min(engine, Seconds(Clock::now() - start));
      if (run == 0) {
        peak = g_peakBytes.load() - liveBefore;
        allocations = g_allocations.load() - allocationsBefore;
      }
    }

    // Reference, once, within the limit.
    std::atomic<std::uint8_t> stop{0};
    double reference;
    ReferenceResult ref;
    {
      Deadline limit(stop, referenceLimit);
      const auto start = Clock::now();
      ref = ReferenceSearch(in.sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, &stop);
      reference = Seconds(Clock::now() - start);
    }

    const std::int64_t remainder = outcome.bestRemainder;
    char result[32];
    std::snprintf(result, sizeof result, "r=%lld", static_cast<long long>(remainder));
    std::string notes = "n=" + std::to_string(in.sizes.size()) + " counts " + std::to_string(plan.lower) + ".." + std::to_string(plan.upper) +
                        ", " + std::to_string(got.count) + " improvements, peak " + std::to_string(peak / 1024) + " KiB in " +
                        std::to_string(allocations) + " allocations";
    if (!outcome.complete) notes += ", ENGINE STOPPED";
    if (ref.complete) {
      const std::vector<int>& refFinal = ref.improvements.empty() ? plan.initial : ref.improvements.back().indices;
      const std::vector<int>& engineFinal = got.count ? got.indices : plan.initial;
      const bool same = refFinal == engineFinal && ref.bestRemainder == remainder;
      const double ratio = reference / engine;
      logSum += std::log(ratio);
      ++ratios;
      char speed[32];
      std::snprintf(speed, sizeof speed, "%.0fx", ratio);
      std::printf("%-46s %8s %14s %14s %10s %9s  %s\n", in.name.c_str(), result, Millis(engine).c_str(), Millis(reference).c_str(), speed,
                  same ? "yes" : "NO", notes.c_str());
    } else {
      std::printf("%-46s %8s %14s %14s %10s %9s  %s\n", in.name.c_str(), result, Millis(engine).c_str(),
                  ("> " + std::to_string(static_cast<int>(referenceLimit)) + " s").c_str(), "-", "-", notes.c_str());
    }
    std::fflush(stdout);
  }
  if (ratios) std::printf("\ngeometric-mean speed-up over %d classes the reference finished: %.0fx\n", ratios, std::exp(logSum / ratios));

  // How long a stop takes to be seen, on searches that would run far longer.
  std::printf("\nstop latency (flag set after 50 ms, time until the search returned):\n");
  struct Hard {
    const char* name;
    std::vector<std::int64_t> sizes;
  };
  const Hard hard[] = {
      {"random 31-bit n=44 (meet in the middle)", UniformSizes(44, 1, (std::int64_t{1} << 31) - 1, 44)},
      {"random 31-bit n=80 (branch and bound)", UniformSizes(80, 1, (std::int64_t{1} << 31) - 1, 80)},
      {"videos 50 MB-1.5 GB n=20000", UniformSizes(20000, 50'000'000, 1'500'000'000, 20001)},
  };
  for (const Hard& h : hard) {
    std::int64_t total = 0;
    for (std::int64_t x : h.sizes) total += x;
    const SearchPlan plan = PlanSearch(h.sizes, total / 2 + 1, 0, kNoFileLimit);
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
    if (out.complete) std::printf("  %-44s ended by itself before the stop\n", h.name);
    else std::printf("  %-44s %s\n", h.name, Millis(Seconds(returned - stopped)).c_str());
  }
  return 0;
}
