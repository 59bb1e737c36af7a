// GO: check the input, set aside what is already chosen, build the initial solution and the
// range of combination sizes, and start the search on a worker thread. And its end.
#include <new>
#include <string>
#include <vector>

#include "app/win/main_dialog.h"
#include "files/file_sets.h"
#include "files/size_text.h"
#include "framework/app.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "search/byte_count.h"
#include "search/plan.h"
#include "search/saturating.h"
#include "search/win/search_thread.h"

namespace {

std::string Bytes(std::int64_t n) { return FormatNumber(n, true) + "バイト"; }

// The entries set aside at GO join the result at its end.
void AppendPinnedEntries() {
  for (g_pinnedSet.ResetCursor(true); const FileEntry* e = g_pinnedSet.GetCurrent(); g_pinnedSet.MoveNext())
    g_resultSet.Add(*e);
}

}  // namespace

void CMainDialog::OnCompute() {
  if (Computing()) {
    AppMessageBox(m_hWnd, "既に演算は行われています", nullptr, MB_OK);
    EnableWhenIdle();  // a message box may enable its owner as it closes, even one it found disabled
    return;
  }
  if (AppMessageBox(m_hWnd, "ピッタリ容量の計算を行います。よろしいですか？", "計算するぞ～", MB_YESNO) == IDNO) return;

  m_capacityText = m_capacityEdit.GetText();
  const std::int64_t capacity = ParseByteCount(m_capacityText);
  const std::int64_t pinnedTotal = SetResultAside();
  const std::string maxCountText = GetItemText(IDC_MAX_COUNT);
  const SearchPlan plan = PlanSearch(SourceSizes(), capacity, pinnedTotal, ParseMaxFileCount(maxCountText));
  if (!AcceptPlan(plan, capacity)) return;

  OpenProgress(plan.remaining);
  g_resultSet.RemoveAll();
  RefreshResultPanel();
  TakeInitialSolution(plan);
  m_settings[kMaxCountSetting] = maxCountText;
  StartWorker(plan);
}

std::int64_t CMainDialog::SetResultAside() {
  g_pinnedSet.RemoveAll();
  std::int64_t total = 0;
  for (g_resultSet.ResetCursor(true); const FileEntry* e = g_resultSet.GetCurrent(); g_resultSet.MoveNext()) {
    g_pinnedSet.Add(*e);
    total = SaturatingAdd(total, e->size);
  }
  return total;
}

std::vector<std::int64_t> CMainDialog::SourceSizes() {
  std::vector<std::int64_t> sizes;
  sizes.reserve(static_cast<std::size_t>(g_sourceSet.GetCount()));
  for (g_sourceSet.ResetCursor(true); const FileEntry* e = g_sourceSet.GetCurrent(); g_sourceSet.MoveNext())
    sizes.push_back(e->size);
  return sizes;
}

// The capacity of the last GO is shown once the pinned entries fit in it, whatever follows.
bool CMainDialog::AcceptPlan(const SearchPlan& plan, std::int64_t capacity) {
  if (plan.refusal == PlanRefusal::kPinnedOverCapacity) {
    AppMessageBox(m_hWnd, "既に選択されているファイルが制限容量を超えています", "容量オーバー", MB_OK);
    return false;
  }
  SetItemText(IDC_RESULT_LIMIT, Bytes(capacity));
  if (plan.refusal == PlanRefusal::kNoFiles) {
    AppMessageBox(m_hWnd, "一覧にファイルが一つもありません。", "ファイルなし", MB_OK);
    return false;
  }
  if (plan.refusal == PlanRefusal::kNothingFits) {
    AppMessageBox(m_hWnd, "一覧にあるどのファイルも制限容量を超えています", "容量オーバー", MB_OK);
    return false;
  }
  return true;
}

// Without the progress dialog there would be no way to stop, so a computation that cannot show
// it does not start.
void CMainDialog::OpenProgress(std::int64_t remaining) {
  RECT main = {};
  GetWindowRect(m_hWnd, &main);
  if (!m_progress.Create(IDD_PROGRESS, m_hWnd)) {
    AbandonComputation();
    throw std::bad_alloc();
  }
  ShowWindow(m_progress, SW_SHOW);
  m_progress.SetItemText(IDC_RESULT_LIMIT, Bytes(remaining));
  RECT own;
  if (GetWindowRect(m_progress, &own)) {
    const int width = own.right - own.left, height = own.bottom - own.top;
    SetWindowPos(m_progress, nullptr, (main.left + main.right) / 2 - width / 2,
                 (main.top + main.bottom) / 2 - height / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
}

// The greedy fill, or the first single file that fits, as the result to beat.
void CMainDialog::TakeInitialSolution(const SearchPlan& plan) {
  int index = 0;
  auto initial = plan.initial.begin();
  for (g_sourceSet.ResetCursor(true); const FileEntry* e = g_sourceSet.GetCurrent(); g_sourceSet.MoveNext(), ++index) {
    if (initial == plan.initial.end()) break;
    if (*initial == index) {
      g_resultSet.Add(*e);
      ++initial;
    }
  }
  g_bestRemainder = plan.bestRemainder;
  SetItemText(IDC_RESULT_TOTAL, Bytes(plan.greedyTotal));
  m_progress.SetItemText(IDC_RESULT_TOTAL, Bytes(plan.greedyTotal));
}

void CMainDialog::StartWorker(const SearchPlan& plan) {
  const int n = g_sourceSet.GetCount();
  try {
    m_candidates.reset(new FileEntry[n]);
  } catch (const std::bad_alloc&) {
    AbandonComputation();
    throw;
  }
  EnableWhenIdle();
  int index = 0;
  for (g_sourceSet.ResetCursor(true); const FileEntry* e = g_sourceSet.GetCurrent(); g_sourceSet.MoveNext())
    m_candidates[index++] = *e;

  g_searchParams = {plan.lower, plan.upper, plan.remaining, &g_bestRemainder, m_candidates.get(), n,
                    m_hWnd,     m_progress, false};
  g_stopSearch.store(0, std::memory_order_relaxed);
  HANDLE thread = StartSearchThread(&g_searchParams);
  if (!thread) {
    AbandonComputation();
    throw std::bad_alloc();  // reported like any other lack of memory
  }
  if (m_worker) CloseHandle(m_worker);  // the last computation's, long ended
  m_worker = thread;
}

// The worker may be waiting in a send to this thread (a progress label, or its completion), so
// the sends are handled while waiting. When the windows are gone those sends fail at once and
// the completion never runs: then the end of the thread ends the wait.
void CMainDialog::StopWorker() {
  g_stopSearch.store(1, std::memory_order_relaxed);
  while (Computing() && MsgWaitForMultipleObjects(1, &m_worker, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // handles the sent messages, takes nothing from the queue
  }
}

// The main dialog is enabled before the progress dialog, the active window, goes away: otherwise
// the system would hand the activation to another program's window.
void CMainDialog::CloseProgress() {
  EnableWindow(m_hWnd, TRUE);
  m_progress.DestroyWindow();
}

// A computation that could not start: back to idle with both lists as they were before GO.
void CMainDialog::AbandonComputation() {
  CloseProgress();
  g_resultSet.RemoveAll();
  AppendPinnedEntries();
  m_candidates.reset();
  EnableWhenIdle();
  RefreshResultPanel();
}

void CMainDialog::OnSearchDone() {
  if (!Computing()) return;
  CloseProgress();
  if (m_capacityEdit.GetText() != m_capacityText) {
    // Another program changed the capacity text meanwhile, whose change notification a running
    // computation refuses. A result is never shown beside a capacity it was not computed for: as
    // every change of the capacity does, this one discards the result set, the entries set aside
    // at GO with it. The files the search chose were never taken out of the file list.
    g_resultSet.RemoveAll();
  } else {
    AppendPinnedEntries();
    // Every result file leaves the file list. Each path stands once in the file list, so one walk
    // finds them all; the list shows what is left at once, as its rows point into the set.
    g_sourceSet.RemovePaths(PathsOf(g_resultSet));
    m_fileList.Refill();
  }
  m_candidates.reset();
  EnableWhenIdle();
  RefreshResultPanel();
  RefreshFileLabels();
  SetActiveWindow(m_hWnd);
  if (g_searchParams.outOfMemory) ReportOutOfMemory(m_hWnd);
}
