#include "search/engine.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

#include "search/count_schedule.h"
#include "search/halves.h"
#include "search/reachable_totals.h"
#include "search/residue_filter.h"
#include "search/tail_totals.h"
#include "search/unit_totals.h"

namespace {

using Wide = __int128;  // sums of many sizes, which may exceed 64 bits

// Work units between two looks at the stop flag: a few tens of microseconds of search.
constexpr std::uint64_t kWorkPerStopCheck = 1u << 12;
// Work after which a search that has not ended builds its residue filter: easy searches end
// sooner and never pay for it.
constexpr std::uint64_t kWorkBeforeFilter = 1u << 19;
// The filter's deepest level is built once the search has asked it one question for this many
// subsets it marks: each rejection saves a branch of a few hundred steps, so searches that would
// use it little never pay for it.
constexpr double kMarksPerDeepAsk = 100;
// The filter is consulted only while the totals that would still improve span at most this
// many bytes; wider windows are hardly ever empty.
constexpr std::int64_t kNarrowWindow = 1 << 12;
// Subsets of one half per unit of branch-and-bound work allowed before meet in the middle takes
// over: about a quarter of what listing and pairing the halves then costs, as searches that branch
// and bound has not ended by then seldom end before the halves would.
constexpr std::uint64_t kSubsetsPerBranchStep = 4;
// The budget of SearchStrategy::kBranchThenMeet and kBranchThenDecide, small enough to run out in tests.
constexpr std::uint64_t kTestBudget = 16;
// Branch-and-bound work before the smallest candidates' totals are listed for candidate arrays too
// large for meet in the middle: a few tens of milliseconds, which realistic searches rarely reach.
constexpr std::uint64_t kBranchBudgetBeforeTail = std::uint64_t{1} << 22;
// The same when the lists would hold every candidate, so that each count is one question to them:
// a few milliseconds. Only then is that asked.
constexpr std::uint64_t kBranchBudgetBeforeWholeLists = std::uint64_t{1} << 18;
// The smallest candidates whose totals are listed: a table and a block before it, each of 2^20
// distinct totals at most (20 candidates of distinct sizes, more when sizes repeat).
constexpr int kMostListed = TailTotals::kMostCandidates;
constexpr std::size_t kMostTotals = std::size_t{1} << 20;
// Branch-and-bound work before the reachable-totals table is built, where it fits: about a millisecond.
constexpr std::uint64_t kBranchBudgetBeforeTable = std::uint64_t{1} << 17;
// A step of the search through the candidates left out takes about three of the forward search's
// (a binary search for the first candidate, a residue look-up for most): budgets count it so.
constexpr std::uint32_t kLeftOutStepWork = 3;
// Work allowed to the look at the densest count before the schedule goes on.
constexpr std::uint64_t kProbeWork = std::uint64_t{1} << 21;

enum class End { kExhausted, kOptimal, kStopped, kBudget };

// Branch and bound over the combinations of one size in index order. A branch is left out only
// when no combination in it can fit with a strictly smaller remainder than the best so far, so
// the improvements it finds are those the plain enumeration finds, in the same order. Sums are
// 64-bit when the total of all candidates plus the capacity fits, 128-bit otherwise.
template <typename Sum>
class CombinationSearch {
 public:
  // `leastRemainder` is a proven lower bound of every remainder: reaching it ends the search.
  CombinationSearch(Span<const std::int64_t> sizes, int offset, std::int64_t capacity, std::int64_t leastRemainder,
                    std::int64_t& best, const std::atomic<std::uint8_t>& stop, SearchListener& listener,
                    std::uint64_t budget)
      : m_b(sizes.data()), m_m(static_cast<int>(sizes.size())), m_offset(offset), m_capacity(capacity),
        m_limit(capacity - leastRemainder), m_shown(best), m_found(best), m_stop(stop), m_listener(listener),
        m_budget(budget), m_prefix(sizes.size() + 1, 0), m_nextSize(sizes.size()), m_top(m_m) {
    for (int i = 0; i < m_m; ++i) m_prefix[i + 1] = m_prefix[i] + m_b[i];
    for (int i = m_m - 1; i >= 0; --i) m_nextSize[i] = i + 1 < m_m && m_b[i + 1] == m_b[i] ? m_nextSize[i + 1] : i + 1;
  }

  /// Searches the combinations of k candidates, through the candidates left out when the totals
  /// near the capacity are those of the smallest candidates.
  End Run(int k);

  /// Goes on without a budget, asking `tail` for the best completion of every branch once its
  /// remaining candidates are all among the tail's.
  void Continue(const TailTotals& tail) {
    m_tail = &tail;
    m_top = tail.First();
    m_budget = UINT64_MAX;
    m_handOver = nullptr;
    m_end = End::kExhausted;
    m_nextCheck = m_work + kWorkPerStopCheck;
  }

  /// Once the budget runs out, goes on up to `later` unless `handOver` (asked once, then) says so.
  void DeferBudget(std::uint64_t later, std::function<bool()> handOver) {
    m_laterBudget = later;
    m_handOver = std::move(handOver);
  }

  /// Has every count searched through the candidates left out, whatever their totals.
  void LeaveOutEveryCount() { m_leaveOut = true; }

  /// Searches the combinations of k candidates for at most `work` more work, to learn a remainder
  /// the result reaches at least; later searches look only at totals that reach it. What it finds
  /// is shown at once, as a stop would return it. False when the stop flag is set.
  bool Probe(int k, std::uint64_t work);

  /// The least remainder found in the schedule's order so far (a probe's finds aside).
  std::int64_t Found() const { return m_found; }

 private:
  // Sum of the r candidates from index i on: the largest total r candidates from i can reach.
  Sum Window(int i, int r) const { return m_prefix[i + r] - m_prefix[i]; }
  // Sum of the q smallest candidates.
  Sum Tail(int q) const { return m_prefix[m_m] - m_prefix[m_m - q]; }
  // Smallest total that still beats the best: a combination must exceed this.
  Sum Floor() const { return Sum{m_capacity} - Beat(); }
  // The remainder a combination must be below to matter: below the best found in the schedule's
  // order, and no more than the least remainder a probe has reached, since the result reaches that
  // at least; below it while probing.
  std::int64_t Beat() const {
    if (m_reached >= m_found) return m_found;
    return m_probing ? m_reached : m_reached + 1;
  }

  // First index from `start` whose candidate still leaves room for the r - 1 smallest candidates.
  int FirstFit(int start, Sum partial, int r) const {
    const Sum room = Sum{m_limit} - partial - Tail(r - 1);
    if (room < 0) return m_m;
    const auto limit = static_cast<std::int64_t>(room);
    // Usually one of the next few fits: a short scan is cheaper than a binary search there.
    for (int i = start; i < std::min(start + 8, m_m); ++i) {
      if (m_b[i] <= limit) return i;
    }
    return static_cast<int>(
        std::partition_point(m_b + start, m_b + m_m, [limit](std::int64_t s) { return s > limit; }) - m_b);
  }

  void Improve(Sum total, int depth, int i, int j);
  void Report(Sum total);
  End RunForward(int k);
  void PairLevel(int depth, int i, Sum partial);
  void RestOfBranch(int depth, int r, Sum partial);
  // False when no r candidates from `start` on can add between `from` and `to` (both included).
  bool MayAdd(int r, int start, Sum from, Sum to) {
    if (!m_filter || Beat() - (m_capacity - m_limit) > kNarrowWindow) return true;
    if (!m_filter->Has(r, start)) {
      if (r == ResidueFilter::kDeepest && start >= m_filter->DeepFirst()) ++m_deepAsks;
      return true;
    }
    from = std::max<Sum>(from, 0);
    return from <= to && m_filter->MayReach(r, static_cast<std::uint64_t>(from), static_cast<std::uint64_t>(to));
  }
  // False when no r candidates can bring the partial total into the improving window.
  bool MayComplete(int r, int start, Sum partial) {
    return MayAdd(r, start, Floor() + 1 - partial, Sum{m_limit} - partial);
  }
  // From i on, one candidate of each size, the first that may complete a branch of r positions
  // with `partial` (or the first past the last that could). Most fail: a tight loop lets their
  // look-ups into the residue filter overlap. Adds the candidates passed over to `steps`.
  int NextCompleting(int i, int r, Sum partial, std::uint32_t& steps) {
    const Sum floor = Floor();
    for (; i < m_top && i <= m_m - r && partial + Window(i, r) > floor; i = m_nextSize[i], ++steps) {
      if (MayComplete(r - 1, i + 1, partial + m_b[i])) break;
    }
    return i;
  }

  // The mirrored search goes through the same combinations in the same order, choosing the
  // candidates left out instead: left out at depth d are the candidates of m_index before it,
  // chosen are all others before the one tried at d. Larger indices come first at every depth, as
  // leaving out a later candidate keeps an earlier one, and of a run of equal sizes only its last
  // candidates are left out (one left out before the last of its run forces the next).
  // The total left out must lie between these two for the combination to improve.
  Sum LeftOutLeast() const { return m_prefix[m_m] - m_limit; }
  Sum LeftOutMost() const { return m_prefix[m_m] - Floor() - 1; }
  bool Forced(int depth) const { return depth > 0 && m_nextSize[m_index[depth - 1]] - 1 > m_index[depth - 1]; }
  int Lowest(int depth) const { return depth > 0 ? m_index[depth - 1] + 1 : 0; }
  End RunMirrored(int k);
  void EnterMirrored(int depth, int r);
  void MirroredPairs(int depth, int i, Sum partial);
  void MirroredRest(int depth, int r, Sum partial);
  void ImproveMirrored(Sum leftOut, int depth, int i, int j);
  // Counts work; true when the search must end (stopped, out of budget, or proven optimal).
  bool Tick(std::uint32_t units) {
    m_work += units;
    if (m_work >= m_nextCheck) Check();
    return m_end != End::kExhausted;
  }
  void Check();

  const std::int64_t* m_b;
  int m_m;
  int m_offset;
  std::int64_t m_capacity;
  std::int64_t m_limit;  // no total can exceed this: the capacity less the least possible remainder
  // The remainder of the combination shown last (the caller's best). Shown are the probe's finds
  // as they come and each combination found in the schedule's order that is better, or as good and
  // earlier in that order than the probe's (it replaces that one).
  std::int64_t& m_shown;
  std::int64_t m_found;  // the least remainder found in the schedule's order
  const std::atomic<std::uint8_t>& m_stop;
  SearchListener& m_listener;
  std::uint64_t m_budget;  // work after which the search gives up (End::kBudget)
  std::uint64_t m_laterBudget = 0;
  std::function<bool()> m_handOver;
  std::vector<Sum> m_prefix;
  // The first index after i whose size differs from candidate i's. Once a candidate has been tried
  // at a depth, an equal one after it can only give the same totals later in index order, which
  // never replace the earlier ones: each depth tries one candidate of every size.
  std::vector<int> m_nextSize;
  std::vector<int> m_index;    // the candidate chosen (left out, mirrored) at each depth
  std::vector<Sum> m_partial;  // total of the candidates chosen (left out) above each depth
  std::vector<int> m_next;     // the candidate each depth tries next
  // Per depth of the mirrored search, the latest candidate whose largest completion left out enough
  // when the depth was last entered from the same branch above, or -1.
  std::vector<int> m_leavesEnough;
  std::vector<int> m_report;
  std::uint64_t m_work = 0;
  std::uint64_t m_nextCheck = 0;
  bool m_filterTried = false;
  std::uint64_t m_deepAsks = 0;  // questions the filter's deepest level would have answered, unbuilt
  std::unique_ptr<ResidueFilter> m_filter;
  const TailTotals* m_tail = nullptr;
  bool m_leaveOut = false;
  bool m_probing = false;
  std::int64_t m_reached = INT64_MAX;  // the least remainder a probe has reached
  std::vector<int> m_probeFind;        // the probe's combination with that remainder (indices in m_b)
  int m_top;  // candidates from here on are the tail's: branches choose among those before it only
  End m_end = End::kExhausted;
};

template <typename Sum>
void CombinationSearch<Sum>::Check() {
  if (m_stop.load(std::memory_order_relaxed)) {
    m_end = End::kStopped;
  } else if (m_work >= m_budget) {
    if (m_handOver && !m_handOver()) m_budget = m_laterBudget;
    else m_end = End::kBudget;
    m_handOver = nullptr;
  }
  if (!m_filterTried && m_work >= kWorkBeforeFilter) {
    m_filterTried = true;
    m_filter = std::make_unique<ResidueFilter>(Span<const std::int64_t>(m_b, m_m));
  }
  // Asks are counted only while the deepest level is planned and not built yet.
  if (m_deepAsks > 0 && static_cast<double>(m_deepAsks) * kMarksPerDeepAsk >= m_filter->DeepMarks()) {
    m_filter->Deepen(Span<const std::int64_t>(m_b, m_m));
    m_deepAsks = 0;
  }
  m_nextCheck = std::min(m_work + kWorkPerStopCheck, m_budget);
}

template <typename Sum>
void CombinationSearch<Sum>::Improve(Sum total, int depth, int i, int j) {
  m_report.assign(m_index.begin(), m_index.begin() + depth);
  m_report.push_back(i);
  if (j >= 0) m_report.push_back(j);
  Report(total);
}

// Reports m_report, the combination whose sizes add up to `total`, unless it is the one shown.
template <typename Sum>
void CombinationSearch<Sum>::Report(Sum total) {
  if (total == m_limit) m_end = End::kOptimal;
  const auto remainder = static_cast<std::int64_t>(Sum{m_capacity} - total);
  if (m_probing) m_reached = remainder;
  else m_found = remainder;
  if (m_probing) m_probeFind = m_report;
  else if (remainder == m_shown && m_report == m_probeFind) return;  // the probe's combination, found again
  m_shown = remainder;
  for (int& x : m_report) x += m_offset;
  m_listener.OnImprovement(static_cast<std::int64_t>(total), m_report);
}

template <typename Sum>
bool CombinationSearch<Sum>::Probe(int k, std::uint64_t work) {
  const std::uint64_t budget = m_budget;
  m_probing = true;
  m_budget = m_work + work;
  m_nextCheck = std::min(m_nextCheck, m_budget);
  const End end = Run(k);
  m_probing = false;
  m_budget = budget;
  m_end = end == End::kStopped ? end : End::kExhausted;
  return end != End::kStopped;
}

// The last two positions at once. For each first candidate only the largest partner that fits
// can improve, and that partner's index never grows as the first candidate gets smaller.
template <typename Sum>
void CombinationSearch<Sum>::PairLevel(int depth, int i, Sum partial) {
  int partner = m_m;  // the previous first candidate's partner; m_m when it had none
  for (; i <= m_m - 2; i = m_nextSize[i]) {
    if (Tick(1)) return;
    const Sum first = partial + m_b[i];
    if (first + m_b[i + 1] <= Floor()) return;
    const auto room = static_cast<std::int64_t>(Sum{m_limit} - first);
    const int high = std::min(partner + 1, m_m);
    const auto* from = m_b + i + 1;
    partner = static_cast<int>(
        std::partition_point(from, std::max(from, m_b + high), [room](std::int64_t s) { return s > room; }) - m_b);
    if (partner < m_m && first + m_b[partner] > Floor()) Improve(first + m_b[partner], depth, i, partner);
  }
}

// The combinations of a branch whose remaining r candidates all come from the tail follow every
// other combination of the branch in index order. Of those the first with the best total is the
// only one that can improve.
template <typename Sum>
void CombinationSearch<Sum>::RestOfBranch(int depth, int r, Sum partial) {
  const Sum high = Sum{m_limit} - partial;
  if (high < 0) return;
  const Sum low = std::max<Sum>(Floor() - partial, -1);
  std::uint64_t work = 0;
  const std::int64_t rest = m_tail->BestTotal(r, static_cast<std::int64_t>(low), static_cast<std::int64_t>(high), work);
  m_work += work;
  if (rest < 0) return;
  m_report.assign(m_index.begin(), m_index.begin() + depth);
  // The total is there, so only a stop ends the walk without its combination.
  if (!m_tail->FirstCombination(r, rest, m_report)) {
    m_end = End::kStopped;
    return;
  }
  Report(partial + rest);
}

template <typename Sum>
End CombinationSearch<Sum>::Run(int k) {
  if (k < 1 || k > m_m) return End::kExhausted;
  // Nothing can beat the best, or nothing fits.
  if (Window(0, k) <= Floor() || Tail(k) > m_limit) return End::kExhausted;
  // Near the smallest total of k, the combinations are the smallest candidates with a few larger
  // ones: going forward, every one walks the long run of small candidates it ends with, while the
  // candidates they leave out differ early. Only worth it when fewer are left out than chosen.
  const bool nearSmallest = Sum{m_capacity} - Tail(k) < Window(0, k) - Sum{m_capacity};
  return m_leaveOut || (2 * k > m_m && nearSmallest) ? RunMirrored(k) : RunForward(k);
}

template <typename Sum>
End CombinationSearch<Sum>::RunForward(int k) {
  m_index.assign(k, 0);
  m_partial.assign(k + 1, 0);
  m_next.assign(k, 0);
  int d = 0;
  m_next[0] = FirstFit(0, 0, k);
  for (;;) {
    const int r = k - d;
    const int i = m_next[d];
    const Sum partial = m_partial[d];
    // Candidates are in descending order: once the r largest candidates from i cannot beat the
    // best, no later i at this depth can either.
    const bool exhausted = i > m_m - r || partial + Window(i, r) <= Floor();
    if (!exhausted) {
      if (r >= 3 && i >= m_top) {
        RestOfBranch(d, r, partial);
        if (m_end != End::kExhausted) return m_end;
      } else if (r >= 3) {
        if (!MayComplete(r - 1, i + 1, partial + m_b[i])) {
          std::uint32_t steps = 1;
          m_next[d] = NextCompleting(m_nextSize[i], r, partial, steps);
          if (Tick(steps)) return m_end;
          continue;
        }
        m_index[d] = i;
        m_partial[d + 1] = partial + m_b[i];
        ++d;
        m_next[d] = FirstFit(i + 1, m_partial[d], k - d);
        if (Tick(1)) return m_end;
        continue;
      }
      if (r == 2) {
        PairLevel(d, i, partial);
        if (m_end != End::kExhausted) return m_end;
      } else if (partial + m_b[i] > Floor()) {
        Improve(partial + m_b[i], d, i, -1);  // the first candidate that fits is the only one that can improve
      }
    }
    if (Tick(1)) return m_end;
    if (d == 0) return End::kExhausted;
    --d;
    m_next[d] = m_nextSize[m_next[d]];
  }
}

template <typename Sum>
End CombinationSearch<Sum>::RunMirrored(int k) {
  const int e = m_m - k;
  if (e == 0) {
    // Everything fits (checked by Run) and improves.
    m_report.resize(m_m);
    std::iota(m_report.begin(), m_report.end(), 0);
    Report(m_prefix[m_m]);
    return m_end == End::kOptimal ? End::kOptimal : End::kExhausted;
  }
  m_index.assign(e, 0);
  m_partial.assign(e + 1, 0);
  m_next.assign(e, 0);
  m_leavesEnough.assign(e, -1);
  int d = 0;
  EnterMirrored(0, e);
  if (m_end != End::kExhausted) return m_end;
  for (;;) {
    const int r = e - d;
    const int i = m_next[d];
    const Sum partial = m_partial[d];
    // Smaller indices leave out larger candidates: once the smallest completion from i leaves out
    // too much, so does every candidate still to try at this depth.
    const bool exhausted = i < Lowest(d) || partial + m_b[i] + Tail(r - 1) > LeftOutMost();
    if (!exhausted) {
      if (r >= 3) {
        if (!MayAdd(r - 1, i + 1, LeftOutLeast() - partial - m_b[i], LeftOutMost() - partial - m_b[i])) {
          m_next[d] = Forced(d) ? -1 : i - 1;
          if (Tick(kLeftOutStepWork)) return m_end;
          continue;
        }
        m_index[d] = i;
        m_partial[d + 1] = partial + m_b[i];
        ++d;
        EnterMirrored(d, r - 1);
        if (m_end != End::kExhausted || Tick(kLeftOutStepWork)) return m_end;
        continue;
      }
      if (r == 2) {
        MirroredPairs(d, i, partial);
        if (m_end != End::kExhausted) return m_end;
      } else {
        // The first candidate that leaves out enough is the one leaving out least.
        ImproveMirrored(partial + m_b[i], d, i, -1);
        if (m_end != End::kExhausted) return m_end;
      }
    }
    if (Tick(1)) return m_end;
    if (d == 0) return End::kExhausted;
    --d;
    m_next[d] = Forced(d) ? -1 : m_next[d] - 1;
  }
}

// Arriving at a depth with r candidates still to leave out: first the combinations leaving all of
// them out among the tail's candidates, then the latest candidate whose r largest from it can
// still leave out enough.
template <typename Sum>
void CombinationSearch<Sum>::EnterMirrored(int depth, int r) {
  const int lowest = Lowest(depth);
  int highest = m_m - r;
  if (Forced(depth)) highest = std::min(highest, lowest);
  const Sum partial = m_partial[depth];
  const Sum least = LeftOutLeast() - partial;
  if (m_tail && r >= 3 && highest >= m_top) {
    // Usually the tail's candidates are too small to leave out enough.
    if (Window(m_top, r) >= least) MirroredRest(depth, r, partial);
    if (m_end != End::kExhausted) return;
    highest = m_top - 1;
  }
  if (depth + 1 < static_cast<int>(m_leavesEnough.size())) m_leavesEnough[depth + 1] = -1;
  // Window(i, r) only grows as i goes down. The candidate tried before at the depth above left out
  // less, so the latest candidate that left out enough then leaves out enough now: the search
  // doubles its steps from there, as the answer seldom moves far.
  int hi = highest;
  int lo = std::clamp(m_leavesEnough[depth], lowest, std::max(lowest, hi));
  if (hi < lo || Window(lo, r) < least) {
    m_next[depth] = -1;
    return;
  }
  int step = 1;
  for (; lo + step <= hi && Window(lo + step, r) >= least; step *= 2) lo += step;
  hi = std::min(hi, lo + step - 1);
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (Window(mid, r) >= least) lo = mid;
    else hi = mid - 1;
  }
  m_leavesEnough[depth] = lo;
  m_next[depth] = lo;
}

// The last two candidates left out, the first from i down. For each first one only the smallest
// partner that leaves out enough can improve, the last of its size; its index never falls as the
// first one grows. Each size is tried once: by the last of its run with a later partner, which
// leaves out less than two of the run would, or, when the run ends beyond reach, by the latest
// that reaches with the next of the run.
template <typename Sum>
void CombinationSearch<Sum>::MirroredPairs(int depth, int i, Sum partial) {
  const int lowest = Lowest(depth);
  const bool forced = Forced(depth);
  int partner = i + 1;
  while (i >= lowest) {
    if (Tick(1)) return;
    const Sum first = partial + m_b[i];
    if (first + m_b[m_m - 1] > LeftOutMost()) return;
    const bool lastOfRun = m_nextSize[i] - 1 == i;
    int j = i + 1;
    if (lastOfRun) {
      const Sum need = LeftOutLeast() - first;
      partner = std::max(partner, i + 1);
      partner = static_cast<int>(
          std::partition_point(m_b + partner, m_b + m_m, [need](std::int64_t s) { return Sum{s} >= need; }) - m_b);
      j = partner - 1;
    }
    if (j > i && first + m_b[j] >= LeftOutLeast() && first + m_b[j] <= LeftOutMost()) {
      ImproveMirrored(first + m_b[j], depth, i, j);
      if (m_end != End::kExhausted) return;
    }
    if (forced) return;
    while (i > lowest && m_b[i - 1] == m_b[i]) --i;  // to the first of its size
    --i;
  }
}

// The combinations of a branch that leave out all of their remaining r candidates among the tail's
// come before the others of the branch in index order: every candidate before the tail that is not
// left out already is chosen, with (tail candidates - r) of the tail's.
template <typename Sum>
void CombinationSearch<Sum>::MirroredRest(int depth, int r, Sum partial) {
  const int chosen = (m_m - m_top) - r;
  if (chosen < 0) return;
  const Sum head = m_prefix[m_top] - partial;
  const Sum high = Sum{m_limit} - head;
  if (high < 0) return;
  const Sum low = std::max<Sum>(Floor() - head, -1);
  std::uint64_t work = 0;
  const std::int64_t rest =
      m_tail->BestTotal(chosen, static_cast<std::int64_t>(low), static_cast<std::int64_t>(high), work);
  m_work += work;
  if (rest < 0) return;
  m_report.clear();
  for (int x = 0, d = 0; x < m_top; ++x) {
    if (d < depth && m_index[d] == x) ++d;
    else m_report.push_back(x);
  }
  if (!m_tail->FirstCombination(chosen, rest, m_report)) {
    m_end = End::kStopped;
    return;
  }
  Report(head + rest);
}

// Reports the combination of every candidate except those left out above `depth`, i and j (when
// j >= 0), which leave out `leftOut` in all.
template <typename Sum>
void CombinationSearch<Sum>::ImproveMirrored(Sum leftOut, int depth, int i, int j) {
  m_report.clear();
  for (int x = 0, d = 0; x < m_m; ++x) {
    const bool out = (d < depth && m_index[d] == x) || x == i || x == j;
    if (d < depth && m_index[d] == x) ++d;
    if (!out) m_report.push_back(x);
  }
  Report(m_prefix[m_m] - leftOut);
}

std::int64_t Gcd(Span<const std::int64_t> sizes) {
  std::int64_t g = 0;
  for (std::int64_t s : sizes) g = std::gcd(g, s);
  return g;
}

// The smallest candidates whose totals branch and bound lists when its budget runs out: at most
// so many candidates in the table and in the block, each with at most so many totals; none when
// mostCandidates is 0. When the lists would not hold every candidate, branch and bound goes on up
// to budgetUnlessWhole (when larger than its budget). Tests have every count searched through the
// candidates left out.
struct TailPlan {
  int mostCandidates;
  std::size_t mostTotals;
  std::uint64_t budgetUnlessWhole = 0;
  bool leftOutEveryCount = false;
  bool lookForUnit = false;  // whether a unit found when the budget runs out settles the search instead
};

// Of the counts of the schedule from `next` on, the one with the most combinations whose totals lie
// near the capacity, by the normal approximation of a total of k candidates drawn at random: where a
// short look most likely finds the least remainder. Counts whose mean total lies more than
// kMostDeviations standard deviations from the capacity are passed over, as the approximation
// overstates the tails; when all are, the count whose mean total lies nearest. The count searched
// next is kept unless the other holds many times as many (kLookGain): a look there then seldom
// finds sooner what going on would find.
constexpr double kMostDeviations = 2.5;
constexpr double kLookGain = 50;
int RichestCount(Span<const std::int64_t> sizes, std::int64_t capacity, const std::vector<int>& schedule,
                 std::size_t next) {
  const int m = static_cast<int>(sizes.size());
  if (m < 2) return schedule[next];
  double mean = 0, square = 0;
  for (std::int64_t s : sizes) mean += static_cast<double>(s) / m;
  for (std::int64_t s : sizes) square += (static_cast<double>(s) - mean) * (static_cast<double>(s) - mean) / m;
  int richest = -1, nearest = schedule[next];
  double most = 0, least = HUGE_VAL, first = -HUGE_VAL;
  for (std::size_t i = next; i < schedule.size(); ++i) {
    const int k = schedule[i];
    if (k < 1 || k > m) continue;
    const double variance = k * square * (m - k) / (m - 1);  // drawn without replacement
    const double distance = static_cast<double>(capacity) - k * mean;
    const double deviations = variance > 0 ? distance * distance / variance : distance == 0 ? 0 : HUGE_VAL;
    if (deviations < least) least = deviations, nearest = k;
    if (deviations > kMostDeviations * kMostDeviations || variance <= 0) continue;
    const double logDensity = std::lgamma(m + 1.0) - std::lgamma(k + 1.0) - std::lgamma(m - k + 1.0) -
                              0.5 * std::log(variance) - deviations / 2;
    if (i == next) first = logDensity;
    if (richest < 0 || logDensity > most) most = logDensity, richest = k;
  }
  if (richest < 0) return nearest;
  return most - first > std::log(kLookGain) ? richest : schedule[next];
}

// The fewest totals, a power of two from kLeastWholeTotals up to `most`, with which the lists would
// hold every candidate; 0 when even `most` would not. Smaller lists are built sooner, and holding
// every candidate each count is still one question to them.
constexpr std::size_t kLeastWholeTotals = std::size_t{1} << 16;
std::size_t SmallestWholeLists(Span<const std::int64_t> fitting, std::int64_t limit, int mostCandidates,
                               std::size_t most) {
  if (!TailTotals::HoldEveryCandidate(fitting, limit, mostCandidates, most)) return 0;
  // Binary search over the powers of two, holding every candidate from `high` on.
  std::size_t low = kLeastWholeTotals, high = most;
  while (low < high) {
    int doublings = 0;
    for (std::size_t v = low; v < high; v *= 2) ++doublings;
    const std::size_t middle = low << (doublings / 2);
    if (TailTotals::HoldEveryCandidate(fitting, limit, mostCandidates, middle)) high = middle;
    else low = middle * 2;
  }
  return high;
}

// Runs the counts of the schedule in order until one ends the search (or all are done), going on
// with the tail's totals when the budget runs out and a tail is planned. When the budget first runs
// out, sizes that are multiples of a unit plus noise end it instead (End::kBudget, with `unit` set):
// looked for only then, as easy searches end sooner.
template <typename Sum>
End BranchAndBound(Span<const std::int64_t> fitting, int offset, std::int64_t capacity, std::int64_t floor,
                   const std::vector<int>& schedule, std::uint64_t budget, TailPlan tail, std::int64_t& best,
                   UnitTotals::Unit& unit, const std::atomic<std::uint8_t>& stop, SearchListener& listener) {
  CombinationSearch<Sum> search(fitting, offset, capacity, floor, best, stop, listener, budget);
  if (tail.leftOutEveryCount) search.LeaveOutEveryCount();
  if (tail.budgetUnlessWhole > budget) {
    search.DeferBudget(tail.budgetUnlessWhole, [&] {
      const int highest = std::max(0, *std::max_element(schedule.begin(), schedule.end()));
      if (tail.lookForUnit && UnitTotals::Find(fitting, capacity, highest, unit)) return true;
      const std::size_t whole = SmallestWholeLists(fitting, capacity - floor, tail.mostCandidates, tail.mostTotals);
      if (whole == 0) return false;
      tail.mostTotals = whole;
      return true;
    });
  }
  std::size_t next = 0;  // the count being searched; one that ran out of budget is searched again
  const auto runCounts = [&] {
    for (; next < schedule.size() && search.Found() > floor; ++next) {
      if (stop.load(std::memory_order_relaxed)) return End::kStopped;
      const End end = search.Run(schedule[next]);
      if (end != End::kExhausted) return end;
    }
    return End::kExhausted;
  };
  const End first = runCounts();
  if (first != End::kBudget || tail.mostCandidates == 0 || unit.size > 0) return first;
  const TailTotals totals(fitting, capacity - floor, tail.mostCandidates, tail.mostTotals, stop);
  if (totals.Stopped()) return End::kStopped;
  search.Continue(totals);

  // A short look at the count most likely to hold the least remainder usually finds it, and the
  // counts before it in the schedule then only need to be checked for totals that reach it.
  const int richest = RichestCount(fitting, capacity, schedule, next);
  const bool stopped = richest != schedule[next] && !search.Probe(richest, kProbeWork);
  return stopped ? End::kStopped : runCounts();
}

// Few enough candidates, or few enough totals, to know each count's best total outright. The count
// that first reaches the best of them ends where the enumeration would end: on the first
// combination in index order with that total. Only that final combination is reported.
template <typename Solver>
void Conclude(const Solver& solver, const std::vector<int>& schedule, std::int64_t capacity, int offset,
              SearchOutcome& outcome, SearchListener& listener) {
  std::int64_t bestTotal = capacity - outcome.bestRemainder;
  int bestCount = 0;
  for (int k : schedule) {
    if (k < 1) continue;
    const std::int64_t total = solver.BestTotal(k, bestTotal);
    if (total > bestTotal) bestTotal = total, bestCount = k;
  }
  std::vector<int> chosen;
  if (bestCount > 0) chosen = solver.FirstCombination(bestCount, bestTotal);
  if (solver.Stopped()) {
    outcome.complete = false;
    return;
  }
  if (chosen.empty()) return;
  for (int& x : chosen) x += offset;
  outcome.bestRemainder = capacity - bestTotal;
  listener.OnImprovement(bestTotal, chosen);
}

// What settles a search once branch and bound has spent its budget, and how much that is.
enum class Finish { kNone, kTable, kUnits, kHalves, kTail };

struct Route {
  Finish finish = Finish::kNone;
  std::uint64_t budget = UINT64_MAX;  // branch-and-bound work first; 0 for none
  TailPlan tail{0, 0};
  UnitTotals::Unit unit;
};

// Branch and bound finds dense fits (many files of similar size) in moments. When the sizes'
// common divisor leaves few totals, a table of every total of every count settles the rest after a
// short budget. Where meet in the middle is possible, branch and bound gets a budget comparable to
// that method's cost, and none at all when there are fewer subsets than possible totals: then exact
// fits are rare and bounds weak. Beyond that, branch and bound goes on after its budget with the
// smallest candidates' totals listed, unless the sizes are multiples of a unit plus a little noise:
// a table by multiplier sum settles those. The strategies other than the automatic one force a
// way for tests.
Route ChooseRoute(Span<const std::int64_t> fitting, std::int64_t capacity, std::int64_t g, int highest,
                  SearchStrategy strategy) {
  const int m = static_cast<int>(fitting.size());
  const bool automatic = strategy == SearchStrategy::kAutomatic;
  const bool decide = strategy == SearchStrategy::kBranchThenDecide || strategy == SearchStrategy::kLeftOutThenDecide;
  Route route;
  if (g > 0 && (automatic || strategy == SearchStrategy::kReachableTotals) &&
      ReachableTotals::Fits(m, highest, capacity / g)) {
    route.finish = Finish::kTable;
    route.budget = strategy == SearchStrategy::kReachableTotals ? 0 : kBranchBudgetBeforeTable;
  } else if (strategy == SearchStrategy::kUnitTotals && UnitTotals::Find(fitting, capacity, highest, route.unit)) {
    route.finish = Finish::kUnits;
    route.budget = 0;
  } else if (m <= HalvesSolver::kMaxCandidates && (automatic || strategy == SearchStrategy::kMeetInTheMiddle ||
                                                   strategy == SearchStrategy::kBranchThenMeet)) {
    route.finish = Finish::kHalves;
    const Wide sum = std::accumulate(fitting.begin(), fitting.end(), Wide{0});
    if (strategy == SearchStrategy::kMeetInTheMiddle) route.budget = 0;
    else if (strategy == SearchStrategy::kBranchThenMeet) route.budget = kTestBudget;
    else route.budget = sum >= (Wide{1} << m) ? 0 : (std::uint64_t{1} << (m / 2)) / kSubsetsPerBranchStep;
  } else if (decide) {
    // Small lists, so that every part of the tail's work shows on small arrays.
    route.finish = Finish::kTail;
    route.budget = kTestBudget;
    route.tail = {std::max(m / 2, 1), std::size_t{1} << std::max(m / 3, 2), 0,
                  strategy == SearchStrategy::kLeftOutThenDecide};
  } else if (automatic) {
    route.finish = Finish::kTail;
    route.budget = kBranchBudgetBeforeWholeLists;
    route.tail = {kMostListed, kMostTotals, kBranchBudgetBeforeTail, false, true};
  }
  return route;
}

// Branch and bound over the schedule, in 64-bit sums when the total of all candidates plus the
// capacity fits, 128-bit otherwise.
End BranchAndBoundOver(Span<const std::int64_t> fitting, int offset, std::int64_t capacity, std::int64_t floor,
                       const std::vector<int>& schedule, Route& route, SearchOutcome& outcome,
                       const std::atomic<std::uint8_t>& stop, SearchListener& listener) {
  const Wide sum = std::accumulate(fitting.begin(), fitting.end(), Wide{0});
  std::int64_t& best = outcome.bestRemainder;
  const End end = sum <= Wide{INT64_MAX} - capacity
                      ? BranchAndBound<std::int64_t>(fitting, offset, capacity, floor, schedule, route.budget,
                                                     route.tail, best, route.unit, stop, listener)
                      : BranchAndBound<Wide>(fitting, offset, capacity, floor, schedule, route.budget, route.tail, best,
                                             route.unit, stop, listener);
  if (end == End::kStopped) outcome.complete = false;
  return end;
}

}  // namespace

SearchOutcome RunSearch(Span<const std::int64_t> sizes, std::int64_t capacity, std::int64_t bestRemainder, int lower,
                        int upper, const std::atomic<std::uint8_t>& stop, SearchListener& listener,
                        SearchStrategy strategy) {
  SearchOutcome outcome{bestRemainder, true};
  if (capacity < 0) return outcome;
  // Candidates larger than the capacity open the array and can never be chosen.
  const auto firstFitting =
      std::partition_point(sizes.begin(), sizes.end(), [capacity](std::int64_t s) { return s > capacity; });
  const int offset = static_cast<int>(firstFitting - sizes.begin());
  const Span<const std::int64_t> fitting = sizes.subspan(offset);

  // Every total is a multiple of the sizes' greatest common divisor, so no remainder can be
  // smaller than the capacity modulo it.
  const std::int64_t g = Gcd(fitting);
  const std::int64_t floor = g == 0 ? capacity : capacity % g;
  const std::vector<int> schedule = CountSchedule(lower, upper, static_cast<int>(sizes.size()));
  const int highest = std::max(0, *std::max_element(schedule.begin(), schedule.end()));

  Route route = ChooseRoute(fitting, capacity, g, highest, strategy);
  if (route.budget > 0) {
    const End end = BranchAndBoundOver(fitting, offset, capacity, floor, schedule, route, outcome, stop, listener);
    if (end != End::kBudget) return outcome;
  }
  if (outcome.bestRemainder <= floor) return outcome;
  if (route.finish == Finish::kTable)
    Conclude(ReachableTotals(fitting, g, capacity, highest, stop), schedule, capacity, offset, outcome, listener);
  else if (route.unit.size > 0)
    Conclude(UnitTotals(fitting, route.unit, capacity, highest, stop), schedule, capacity, offset, outcome, listener);
  else Conclude(HalvesSolver(fitting, capacity, highest, stop), schedule, capacity, offset, outcome, listener);
  return outcome;
}
