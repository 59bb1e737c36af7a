#include "discs/fewest_discs.h"

#include <algorithm>
#include <chrono>

#include "discs/packing.h"
#include "discs/plan.h"
#include "discs/stop_after.h"

namespace {

class Planner {
 public:
  Planner(const Items& items, const PlanFiles& files, const DiscRules& rules, double seconds,
          std::atomic<std::uint8_t>& stop, const std::function<bool()>& interrupted,
          const std::function<void(int, std::size_t)>& progress)
      : m_items(items), m_files(files), m_rules(rules), m_seconds(seconds), m_stop(stop), m_interrupted(interrupted),
        m_progress(progress), m_itemOf(files.Count(), -1), m_order(ByWeight(items, files, true, m_weights)) {
    for (std::size_t i = 0; i < items.Count(); ++i)
      items.ForEachFile(i, [&](std::uint32_t f) { m_itemOf[f] = static_cast<int>(i); });
    // Every item fits an empty disc, so the bound over the whole disc's room holds whatever the
    // discs' folders take.
    m_plan.lowerBound = DiscLowerBound(m_weights, DataRoom(rules, 0), rules.maxFiles);
  }

  FewestDiscs Plan(const std::vector<std::string_view>& paths, bool firstFitOnly) {
    Keep(FirstFitDecreasing(m_items, m_files, m_rules));
    if (firstFitOnly) return Done();
    Keep(InPathOrder(m_items, paths, m_files, m_rules));
    // Without records, nothing needs mending: the search has the time to itself. With them, half
    // of it, and the rest once the discs that can be emptied are.
    Search(0, m_rules.onDisc ? 0.5 : 1.0);
    Empty();
    if (m_rules.onDisc && !Settled()) {
      std::int64_t folders = 0;
      for (const Disc& d : m_plan.discs) folders += d.folders;
      Search(folders / static_cast<std::int64_t>(m_plan.discs.size()), 1.0);
      Empty();
    }
    return Done();
  }

 private:
  FewestDiscs Done() {
    m_plan.complete = Settled() || (!m_cut && !m_stop.load(std::memory_order_relaxed));
    return std::move(m_plan);
  }

  bool Settled() const { return static_cast<int>(m_plan.discs.size()) <= m_plan.lowerBound; }

  // Whether another stage is worth its time; if so its stop flag is clear.
  bool Running() {
    if (Settled() || m_interrupted()) return false;
    m_stop.store(0, std::memory_order_relaxed);
    return true;
  }

  double Left() const {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    return std::max(1e-3, m_seconds - elapsed);
  }

  void Keep(std::vector<Disc> discs) {
    if (m_plan.discs.empty() || discs.size() < m_plan.discs.size()) m_plan.discs = std::move(discs);
    if (m_progress) m_progress(m_plan.lowerBound, m_plan.discs.size());
  }

  // Discs emptied into the others, each held against its own folders.
  void Empty() {
    if (!Running()) return;
    StopAfter limit(m_stop, Left());
    Keep(Emptied(m_plan.discs, m_items, m_itemOf, m_files, m_rules, m_plan.lowerBound, m_stop));
    m_cut = m_cut || m_stop.load(std::memory_order_relaxed);
  }

  // The search for fewer discs over the items' weights, with `reserve` set aside on each disc for
  // folders, for `share` of the time left; its plan mended disc by disc. Only its bound with
  // nothing set aside holds for the discs as they are.
  void Search(std::int64_t reserve, double share) {
    if (!Running()) return;
    DiscPlan plan;
    {
      const double seconds = Left() * share;
      StopAfter limit(m_stop, seconds);
      plan = PlanDiscs(m_weights, DataRoom(m_rules, reserve), m_rules.maxFiles, m_stop, seconds);
    }
    if (reserve == 0) m_plan.lowerBound = std::max(m_plan.lowerBound, plan.lowerBound);
    m_cut = m_cut || !plan.complete;
    DiscList discs;
    for (const std::vector<int>& planned : plan.discs) {
      discs.emplace_back();
      for (int i : planned) discs.back().push_back(m_order[static_cast<std::size_t>(i)]);
    }
    // An item that fits an empty disc but not beside the room kept for folders has one of its own.
    for (int i : plan.oversized) discs.push_back({m_order[static_cast<std::size_t>(i)]});
    Keep(Mended(discs, m_items, m_files, m_rules));
  }

  const Items& m_items;
  const PlanFiles& m_files;
  const DiscRules& m_rules;
  const double m_seconds;
  std::atomic<std::uint8_t>& m_stop;
  const std::function<bool()>& m_interrupted;
  const std::function<void(int, std::size_t)>& m_progress;
  std::vector<int> m_itemOf;
  std::vector<std::int64_t> m_weights;
  std::vector<int> m_order;
  FewestDiscs m_plan;
  bool m_cut = false;  // a stage's time or the stop flag ended it before it was done
  const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace

FewestDiscs PlanFewestDiscs(const Items& items, const PlanFiles& files, const DiscRules& rules,
                            const std::vector<std::string_view>& paths, double seconds, std::atomic<std::uint8_t>& stop,
                            const std::function<bool()>& interrupted,
                            const std::function<void(int lower, std::size_t discs)>& progress, bool firstFitOnly) {
  return Planner(items, files, rules, seconds, stop, interrupted, progress).Plan(paths, firstFitOnly);
}
