#include "search/disc_fit.h"

#include "search/engine.h"

namespace {

struct Keeper final : SearchListener {
  std::vector<int>* chosen;
  const FitProgress* progress;
  void OnImprovement(std::int64_t total, Span<const int> indices) override {
    chosen->assign(indices.begin(), indices.end());
    if (*progress) (*progress)(total, indices);
  }
};

}  // namespace

DiscFit FitDisc(Span<const std::int64_t> sizes, std::int64_t capacity, int maxFiles,
                const std::atomic<std::uint8_t>& stop, const FitProgress& progress) {
  DiscFit fit;
  fit.capacity = capacity;
  const SearchPlan plan = PlanSearch(sizes, capacity, 0, maxFiles);
  fit.refusal = plan.refusal;
  if (plan.refusal != PlanRefusal::kNone) return fit;
  fit.chosen = plan.initial;
  if (progress) progress(plan.remaining - plan.bestRemainder, fit.chosen);
  Keeper keeper;
  keeper.chosen = &fit.chosen;
  keeper.progress = &progress;
  const SearchOutcome outcome =
      RunSearch(sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, stop, keeper);
  fit.complete = outcome.complete;
  fit.remainder = outcome.bestRemainder;
  fit.total = plan.remaining - outcome.bestRemainder;
  return fit;
}
