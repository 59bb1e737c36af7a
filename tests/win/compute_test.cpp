// GO through the real window: the checks and their messages, the worker thread and the progress
// dialog, stopping, and the end of a computation.
#include <windows.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "files/file_sets.h"
#include "framework/app.h"
#include "res/resource.h"
#include "search/search_thread.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/screen.h"

namespace {

// Holds the worker back until the test lets it go, so the running state can be looked at.
HANDLE g_heldThread = nullptr;
HANDLE StartHeld(LPTHREAD_START_ROUTINE routine, LPVOID argument) {
  g_heldThread = CreateThread(nullptr, 0, routine, argument, CREATE_SUSPENDED, nullptr);
  HANDLE duplicate = nullptr;
  DuplicateHandle(GetCurrentProcess(), g_heldThread, GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
  return duplicate;
}
HANDLE StartNothing(LPTHREAD_START_ROUTINE, LPVOID) { return nullptr; }

class ComputeTest : public MainDialogTest {
 protected:
  void TearDown() override {
    Release();
    SetThreadStarter(nullptr);
    MainDialogTest::TearDown();
  }
  // Files of the given sizes, dropped on the list; names say their size ("s0005" for 5 bytes).
  void DropSizes(std::initializer_list<std::int64_t> sizes, const char* prefix = "s") {
    std::vector<std::string> paths;
    for (std::int64_t s : sizes) {
      char name[32];
      std::snprintf(name, sizeof name, "\\%s%04lld", prefix, static_cast<long long>(s));
      paths.push_back(m_dir.path() + name);
      MakeFile(paths.back(), s);
    }
    Drop(paths);
  }
  // GO with the capacity and maximum count, answering Yes; waits for the end.
  void Compute(const std::string& capacity, const std::string& maxCount = "") {
    SetText(IDC_CAPACITY, capacity);
    SetText(IDC_MAX_COUNT, maxCount);
    Answer({IDYES});
    Press(IDC_COMPUTE);
    ASSERT_TRUE(WaitForCompletion());
  }
  void Release() {
    if (!g_heldThread) return;
    ResumeThread(g_heldThread);
    CloseHandle(g_heldThread);
    g_heldThread = nullptr;
  }
  HWND Progress() const { return FindWindowA(nullptr, "最適解算出完了"); }
};

}  // namespace

TEST_F(ComputeTest, WorkedExamples) {
  Open(nullptr);
  DropSizes({5, 4, 3});
  Compute("7");
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0004", "s0003"}));
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"s0005"}));
  EXPECT_EQ(Text(IDC_RESULT_TOTAL), "7バイト");
  EXPECT_EQ(Text(IDC_RESULT_LIMIT), "7バイト");
  EXPECT_EQ(Text(IDC_FILE_COUNT), "1個");
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "5バイト");
  for (int id : {IDC_RESULT_CAPTION, IDC_RESULT_LIMIT_CAPTION, IDC_RESULT_TOTAL, IDC_RESULT_LIMIT, IDC_DRAG_TARGET, IDC_DRAG_HINT}) EXPECT_TRUE(Visible(id)) << id;
  EXPECT_TRUE(IsWindowEnabled(Dlg()));
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_EQ(Rows(IDC_RESULT_LIST)[0].size, "4");  // the result list shows bare numbers

  Answer({IDYES});
  Press(IDC_DELETE_ALL);
  DropSizes({12, 7, 2}, "t");
  Compute("10");  // the capacity change discarded the earlier result
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"t0007", "t0002"}));
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"t0012"}));

  Answer({IDYES});
  Press(IDC_DELETE_ALL);
  DropSizes({10, 7, 5, 1}, "u");
  Compute("7");
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"u0007"}));
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"u0010", "u0005", "u0001"}));
  EXPECT_EQ(m_boxes.size(), 5u);  // three confirmations and two delete-all questions, nothing else
  for (const ShownBox& b : m_boxes) {
    if (b.caption == "計算するぞ～") {
      EXPECT_EQ(b.text, "ピッタリ容量の計算を行います。よろしいですか？");
      EXPECT_EQ(b.type, static_cast<UINT>(MB_YESNO));
    }
  }
}

TEST_F(ComputeTest, PinnedEntriesComeAfterTheSearchsFiles) {
  Open(nullptr);
  DropSizes({300, 500, 400, 100});
  SetText(IDC_CAPACITY, "1,000");  // first: every capacity change discards the result set
  SetText(IDC_MAX_COUNT, "5");
  Select(IDC_FILE_LIST, {2});  // 300 bytes
  Press(IDC_MOVE_TO_RESULTS);
  ASSERT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0300"}));

  SetThreadStarter(StartHeld);
  Answer({IDYES});
  Press(IDC_COMPUTE);
  // Running: the main dialog is disabled, the progress dialog centred on it shows what is left.
  const HWND progress = Progress();
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(IsWindowEnabled(Dlg()));
  EXPECT_TRUE(m_dialog->Computing());
  EXPECT_EQ(Text(IDC_RESULT_LIMIT), "1,000バイト");
  EXPECT_EQ(CWnd::WindowText(GetDlgItem(progress, IDC_RESULT_LIMIT)), "700バイト");
  EXPECT_EQ(CWnd::WindowText(GetDlgItem(progress, IDC_RESULT_TOTAL)), "500バイト");  // the greedy fill alone
  EXPECT_EQ(Text(IDC_RESULT_TOTAL), "500バイト");
  EXPECT_FALSE(Visible(IDC_DRAG_TARGET));
  EXPECT_EQ(m_dialog->Setting(0), "5");
  RECT main, own;
  GetWindowRect(Dlg(), &main);
  GetWindowRect(progress, &own);
  EXPECT_EQ(own.left, (main.left + main.right) / 2 - (own.right - own.left) / 2);
  EXPECT_EQ(own.top, (main.top + main.bottom) / 2 - (own.bottom - own.top) / 2);
  Pump(100);
  if (!ScreenshotDir().empty()) SaveWindowPicture(progress, ScreenshotDir() + "\\progress.bmp");

  // A second GO is refused while it runs, and nothing ends the dialog meanwhile.
  Press(IDC_COMPUTE);
  ASSERT_FALSE(m_boxes.empty());
  EXPECT_EQ(m_boxes.back().text, "既に演算は行われています");
  EXPECT_EQ(m_boxes.back().caption, AppTitle());
  EXPECT_EQ(m_boxes.back().type, static_cast<UINT>(MB_OK));
  Press(IDOK);
  Press(IDCANCEL);
  SendMessageA(Dlg(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(Dlg()));

  Release();
  ASSERT_TRUE(WaitForCompletion());
  // The search's combination (500 + 100 beats the greedy 500) first, then the pinned 300.
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0500", "s0100", "s0300"}));
  EXPECT_EQ(Text(IDC_RESULT_TOTAL), "900バイト");
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"s0400"}));
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(Dlg()));
  EXPECT_EQ(GetActiveWindow(), Dlg());
}

TEST_F(ComputeTest, RefusalsAndNoChangeNothing) {
  Open("7\tMaxLoop Limit\r\n\t650MBCD-ROM\r\n\t700MBCD-ROM\r\n\tDVD\r\n\t前回入力値\r\n");
  const auto lastBox = [&] { return m_boxes.empty() ? ShownBox{} : m_boxes.back(); };

  // No files.
  SetText(IDC_MAX_COUNT, "3");
  SetText(IDC_CAPACITY, "100");
  Answer({IDYES});
  Press(IDC_COMPUTE);
  EXPECT_EQ(lastBox().text, "一覧にファイルが一つもありません。");
  EXPECT_EQ(lastBox().caption, "ファイルなし");
  EXPECT_EQ(lastBox().type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(Text(IDC_RESULT_LIMIT), "100バイト");
  EXPECT_EQ(m_dialog->Setting(0), "7");  // a refusal does not store the maximum count

  // Every file too large.
  DropSizes({500, 200});
  Answer({IDYES});
  Press(IDC_COMPUTE);
  EXPECT_EQ(lastBox().text, "一覧にあるどのファイルも制限容量を超えています");
  EXPECT_EQ(lastBox().caption, "容量オーバー");

  // Chosen entries already over the capacity, and a negative capacity.
  Select(IDC_FILE_LIST, {1});
  Press(IDC_MOVE_TO_RESULTS);
  SetText(IDC_CAPACITY, "150");  // discards the result set...
  Select(IDC_FILE_LIST, {0});
  Press(IDC_MOVE_TO_RESULTS);  // ...so choose again: 500 bytes are chosen
  Answer({IDYES});
  Press(IDC_COMPUTE);
  EXPECT_EQ(lastBox().text, "既に選択されているファイルが制限容量を超えています");
  EXPECT_EQ(lastBox().caption, "容量オーバー");
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0500"}));
  EXPECT_EQ(Text(IDC_RESULT_LIMIT), "100バイト");  // not reached: still the earlier text
  SetText(IDC_CAPACITY, "-5");
  Answer({IDYES});
  Press(IDC_COMPUTE);
  EXPECT_EQ(lastBox().text, "既に選択されているファイルが制限容量を超えています");

  // No at the question changes nothing at all.
  SetText(IDC_CAPACITY, "1000");
  Select(IDC_FILE_LIST, {0});
  Press(IDC_MOVE_TO_RESULTS);
  const auto files = Rows(IDC_FILE_LIST), results = Rows(IDC_RESULT_LIST);
  const std::string total = Text(IDC_RESULT_TOTAL), limit = Text(IDC_RESULT_LIMIT);
  const std::size_t boxes = m_boxes.size();
  Answer({IDNO});
  Press(IDC_COMPUTE);
  EXPECT_EQ(m_boxes.size(), boxes + 1);
  EXPECT_EQ(m_boxes.back().caption, "計算するぞ～");
  EXPECT_EQ(Rows(IDC_FILE_LIST), files);
  EXPECT_EQ(Rows(IDC_RESULT_LIST), results);
  EXPECT_EQ(Text(IDC_RESULT_TOTAL), total);
  EXPECT_EQ(Text(IDC_RESULT_LIMIT), limit);
  EXPECT_EQ(m_dialog->Setting(0), "7");
  EXPECT_FALSE(m_dialog->Computing());
  for (const ShownBox& b : m_boxes) EXPECT_EQ(b.type & MB_ICONMASK, 0u) << b.text;
}

TEST_F(ComputeTest, AStopBeforeAnyImprovementKeepsTheInitialSolution) {
  Open(nullptr);
  DropSizes({6, 5, 4, 3, 2});
  SetText(IDC_CAPACITY, "10");
  Select(IDC_FILE_LIST, {4});
  Press(IDC_MOVE_TO_RESULTS);  // 2 bytes chosen by hand
  SetThreadStarter(StartHeld);
  Answer({IDYES});
  Press(IDC_COMPUTE);
  const HWND progress = Progress();
  ASSERT_NE(progress, nullptr);
  // 完了 only asks for the stop: the dialog stays until the search has ended.
  SendMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(progress, IDCANCEL)));
  SendMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_TRUE(IsWindow(progress));
  EXPECT_EQ(g_stopSearch.load(), 1);
  Release();
  ASSERT_TRUE(WaitForCompletion());
  // Remaining 8: the greedy fill took 6, and the search stopped before improving on it.
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0006", "s0002"}));
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"s0005", "s0004", "s0003"}));
  EXPECT_EQ(g_stopSearch.load(), 1);  // stays set until the next start

  // The next GO clears it; of what is left (5, 4, 3) the greedy 5 + 4 stays best.
  SetThreadStarter(nullptr);
  Compute("10");
  EXPECT_EQ(g_stopSearch.load(), 0);
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0005", "s0004"}));
}

TEST_F(ComputeTest, AStopInALongRunKeepsTheBestSoFar) {
  Open(nullptr);
  // Two thousand files of about 3 MB, each one byte more than a multiple of 3. Exactly twenty of
  // them fit, so twenty is the only combination size searched; twenty such sizes add up to 2
  // more than a multiple of 3, never to the capacity (a multiple of 3). Nothing tells the search
  // that, so it would go through every combination of twenty: practically forever.
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::int64_t> pick(1'000'000, 1'000'100);
  std::vector<std::string> paths;
  for (int i = 0; i < 2000; ++i) {
    paths.push_back(m_dir.path() + "\\r" + std::to_string(i));
    MakeFile(paths.back(), 3 * pick(rng) + 1);
  }
  const std::int64_t capacity = 60'003'000;
  Drop(paths);
  ASSERT_EQ(Rows(IDC_FILE_LIST).size(), 2000u);
  SetText(IDC_CAPACITY, std::to_string(capacity));
  Answer({IDYES});
  Press(IDC_COMPUTE);
  ASSERT_TRUE(m_dialog->Computing());
  Pump(500);
  const HWND progress = Progress();
  ASSERT_NE(progress, nullptr);
  const std::string shown = CWnd::WindowText(GetDlgItem(progress, IDC_RESULT_TOTAL));
  SendMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ASSERT_TRUE(WaitForCompletion(5000));
  EXPECT_TRUE(IsWindowEnabled(Dlg()));
  const std::vector<Row> results = Rows(IDC_RESULT_LIST);
  ASSERT_FALSE(results.empty());
  EXPECT_EQ(Rows(IDC_FILE_LIST).size() + results.size(), 2000u);
  std::int64_t sum = 0;
  for (const Row& r : results) {
    std::string digits;
    for (char c : r.size) if (c != ',') digits += c;
    sum += std::stoll(digits);
  }
  EXPECT_LE(sum, capacity);
  EXPECT_EQ((capacity - sum) % 3, 1);
  EXPECT_GE(Text(IDC_RESULT_TOTAL).size(), shown.size());
}

TEST_F(ComputeTest, AWorkerThatCannotStartLeavesEverythingAsItWas) {
  Open(nullptr);
  DropSizes({9, 8, 7});
  SetText(IDC_CAPACITY, "30");
  Select(IDC_FILE_LIST, {2});
  Press(IDC_MOVE_TO_RESULTS);
  const auto files = Rows(IDC_FILE_LIST), results = Rows(IDC_RESULT_LIST);
  const std::string total = Text(IDC_RESULT_TOTAL);
  SetThreadStarter(StartNothing);
  Answer({IDYES});
  Press(IDC_COMPUTE);
  EXPECT_FALSE(m_dialog->Computing());
  EXPECT_TRUE(IsWindowEnabled(Dlg()));
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_EQ(Rows(IDC_FILE_LIST), files);
  EXPECT_EQ(Rows(IDC_RESULT_LIST), results);
  EXPECT_EQ(Text(IDC_RESULT_TOTAL), total);
  ASSERT_FALSE(m_boxes.empty());
  EXPECT_EQ(m_boxes.back().text, "メモリが不足しています。");
  // And the next GO, with a worker, works.
  SetThreadStarter(nullptr);
  Answer({IDYES});
  Press(IDC_COMPUTE);
  ASSERT_TRUE(WaitForCompletion());
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0009", "s0008", "s0007"}));
}
