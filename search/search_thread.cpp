#include "search/search_thread.h"

#include <vector>

#include "files/file_sets.h"
#include "files/size_text.h"
#include "res/resource.h"
#include "search/engine.h"

std::atomic<std::uint8_t> g_stopSearch{0};
std::int64_t g_bestRemainder = 0;
SearchParams g_searchParams = {};

namespace {

ThreadStarter g_threadStarter = nullptr;

// Each better combination replaces the result set and the progress label at once.
class ResultWriter final : public SearchListener {
 public:
  explicit ResultWriter(const SearchParams& p) : m_p(p) {}
  void OnImprovement(std::int64_t total, Span<const int> indices) override {
    // SetDlgItemText on the other thread's window is a synchronous send: the label is written
    // before the search goes on.
    SetDlgItemTextA(m_p.progress, IDC_RESULT_TOTAL, (FormatNumber(total, true) + "バイト").c_str());
    g_resultSet.RemoveAll();
    for (int i : indices) g_resultSet.Add(m_p.candidates[i]);
  }

 private:
  const SearchParams& m_p;
};

}  // namespace

DWORD WINAPI SearchThreadProc(LPVOID argument) {
  const SearchParams p = *static_cast<const SearchParams*>(argument);
  try {
    std::vector<std::int64_t> sizes(static_cast<std::size_t>(p.count));
    for (int i = 0; i < p.count; ++i) sizes[i] = p.candidates[i].size;
    ResultWriter writer(p);
    const SearchOutcome outcome = RunSearch(sizes, p.capacity, *p.bestRemainder, p.lower, p.upper, g_stopSearch, writer);
    *p.bestRemainder = outcome.bestRemainder;
  } catch (...) {
    // Out of memory in the search: the result set holds the best found before it.
  }
  SendMessageA(p.mainDialog, WM_COMMAND, MAKEWPARAM(ID_SEARCH_DONE, 0), 0);
  return 0;
}

HANDLE StartSearchThread(SearchParams* params) {
  if (g_threadStarter) return g_threadStarter(SearchThreadProc, params);
  return CreateThread(nullptr, 0, SearchThreadProc, params, 0, nullptr);
}

void SetThreadStarter(ThreadStarter starter) { g_threadStarter = starter; }
