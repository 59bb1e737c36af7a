#include "cli/one_disc.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <cstdint>
#include <cstdio>

#include "cli/deliver.h"
#include "cli/exit_status.h"
#include "cli/items.h"
#include "cli/mastering.h"
#include "cli/messages.h"
#include "cli/plan_output.h"
#include "cli/stopping.h"
#include "discs/stop_after.h"
#include "search/disc_fit.h"

namespace {

// The best so far as the result would show it, shown ten times a second by a thread of its own:
// the search reports its finds in bursts, and the last of a burst must not wait for the next.
class ShownBest {
 public:
  ShownBest(bool quiet, std::function<std::string(const std::vector<int>&)> describe)
      : m_progress(quiet), m_describe(std::move(describe)) {
    if (m_progress.On()) m_thread = std::thread([this] { Show(); });
  }
  ~ShownBest() {
    if (!m_thread.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_done = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }
  ShownBest(const ShownBest&) = delete;
  ShownBest& operator=(const ShownBest&) = delete;

  // From the search's thread: the latest find, to be shown.
  void Found(Span<const int> chosen) {
    if (!m_thread.joinable()) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latest.assign(chosen.begin(), chosen.end());
    m_fresh = true;
  }

 private:
  void Show() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_done) {
      m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_done; });
      if (m_done || !m_fresh) continue;
      const std::vector<int> latest = m_latest;
      m_fresh = false;
      lock.unlock();
      m_progress.Show(m_describe(latest));
      lock.lock();
    }
  }

  Progress m_progress;
  std::function<std::string(const std::vector<int>&)> m_describe;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::vector<int> m_latest;
  bool m_fresh = false, m_done = false;
  std::thread m_thread;
};

PlanRefusal FitOne(const Collection& c, const Job& job, const Options& o, Disc& disc) {
  const Items items = MakeItems(c, job);
  const DiscRules rules = RulesOf(job);
  std::vector<std::int64_t> weights;
  const std::vector<int> order = ByWeight(items, c.sizes, false, weights);
  const auto filesOf = [&](Span<const int> chosen) {
    std::vector<std::uint32_t> files;
    for (int i : chosen) items.ForEachFile(order[i], [&](std::uint32_t f) { files.push_back(f); });
    return files;
  };
  PlanRefusal refusal = PlanRefusal::kNone;
  const auto start = std::chrono::steady_clock::now();
  WithRecordRoom(c.sizes, rules, [&](std::int64_t room, std::int64_t& needed) {
    if (room < 0) {
      refusal = c.Count() == 0 ? PlanRefusal::kNoFiles : PlanRefusal::kPinnedOverCapacity;
      return false;
    }
    // The best so far as the result would show it: its total on the disc and what is left.
    if (!g_signal) g_stop.store(0, std::memory_order_relaxed);
    DiscFit fit;
    {
      ShownBest shown(o.quiet, [&](const std::vector<int>& chosen) {
        const Disc best = MakeDisc(filesOf(chosen), c.sizes, rules);
        return "best so far " + Grouped(best.total) + " bytes, " + Grouped(best.capacity - best.total) + " to spare";
      });
      StopAfter limit(g_stop, job.timeLimit);
      fit = FitDisc(weights, room, job.maxFiles, g_stop,
                    [&](std::int64_t, Span<const int> chosen) { shown.Found(chosen); });
    }
    refusal = fit.refusal;
    if (refusal != PlanRefusal::kNone) return false;
    // The search starts from the greedy fill of the largest files, which the window keeps even
    // when it holds more files than the limit and nothing within the limit does better. Its first
    // `maxFiles` files fit and have the largest total that so few files can have: the result
    // within the limit.
    if (static_cast<int>(fit.chosen.size()) > job.maxFiles) fit.chosen.resize(static_cast<std::size_t>(job.maxFiles));
    disc = MakeDisc(filesOf(fit.chosen), c.sizes, rules);
    disc.complete = fit.complete;
    needed = disc.Fits() ? 0 : disc.records;
    return true;
  });
  disc.elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return refusal;
}

}  // namespace

ExitStatus RunOne(Collection& c, const Job& job, const Options& o, Delivery& delivery, int number) {
  Disc disc;
  const PlanRefusal refusal = FitOne(c, job, o, disc);
  if (refusal != PlanRefusal::kNone) return Refuse(refusal, job.capacity, c.leftOut);
  WarnLargeFiles({disc}, c, job);
  if (o.json) {
    JsonWriter w(stdout);
    const OneDiscJson one{Accounting(job, true), Interrupted(), &c.leftOut};
    WriteDiscJson(w, disc, c, c.Count(), &one, number);
    std::fputc('\n', stdout);
  } else if (o.null) {
    for (std::uint32_t i : disc.files) {
      for (std::uint32_t k = 0; k < c[i].nameCount; ++k) {
        const std::string_view path = c.Source(c[i], k);
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::fputc('\0', stdout);
      }
    }
  } else {
    const std::string heading = "disc " + std::to_string(number);
    PrintDisc(disc, c, job, number ? heading.c_str() : nullptr);
    if (job.onDisc) std::printf("counted %s\n", Accounting(job, false).c_str());
    PrintLeftOut(c.leftOut);
  }
  std::fflush(stdout);
  return Finished(delivery.Deliver({disc}, c, job), !c.leftOut.empty());
}
