#include "search/win/search_thread.h"

#include <string>
#include <vector>

#include "files/file_sets.h"
#include "files/size_text.h"
#include "search/engine.h"

std::atomic<std::uint8_t> g_stopSearch{0};
std::int64_t g_bestRemainder = 0;
SearchParams g_searchParams = {};

namespace {

ThreadStarter g_threadStarter = nullptr;
ImprovementHook g_improvementHook = nullptr;

// Each better combination replaces the result set and the progress label at once. Everything
// that allocates is done before the result set changes, so an allocation failure leaves the last
// complete combination in it.
class ResultWriter final : public SearchListener {
 public:
  explicit ResultWriter(const SearchParams& p) : m_p(p) {}
  void OnImprovement(std::int64_t total, Span<const int> indices) override {
    FileSet chosen;
    for (int i : indices) chosen.Add(m_p.candidates[i]);
    const std::string label = FormatNumber(total, true) + "バイト";
    // SetDlgItemText on the other thread's window is a synchronous send: the label is written
    // before the search goes on.
    SetDlgItemTextA(m_p.progress, IDC_RESULT_TOTAL, label.c_str());
    g_resultSet.Swap(chosen);
    *m_p.bestRemainder = m_p.capacity - total;
    if (g_improvementHook) g_improvementHook();
  }

 private:
  const SearchParams& m_p;
};

}  // namespace

DWORD WINAPI SearchThreadProc(LPVOID argument) {
  auto* shared = static_cast<SearchParams*>(argument);
  const SearchParams p = *shared;
  try {
    std::vector<std::int64_t> sizes(static_cast<std::size_t>(p.count));
    for (int i = 0; i < p.count; ++i) sizes[i] = p.candidates[i].size;
    ResultWriter writer(p);
    RunSearch(sizes, p.capacity, *p.bestRemainder, p.lower, p.upper, g_stopSearch, writer);
  } catch (...) {
    // Out of memory in the search: the result set holds the last complete improvement (or the
    // initial solution), and the completion tells the user.
    shared->outOfMemory = true;
  }
  SendMessageA(p.mainDialog, kSearchDoneMessage, 0, 0);
  return 0;
}

HANDLE StartSearchThread(SearchParams* params) {
  if (g_threadStarter) return g_threadStarter(SearchThreadProc, params);
  return CreateThread(nullptr, 0, SearchThreadProc, params, 0, nullptr);
}

void SetThreadStarter(ThreadStarter starter) { g_threadStarter = starter; }

void SetImprovementHook(ImprovementHook hook) { g_improvementHook = hook; }
