// GO through the real window: the checks and their messages, the worker thread and the progress
// dialog, stopping, and the end of a computation.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "files/file_sets.h"
#include "framework/app.h"
#include "framework/dpi.h"
#include "framework/message_box.h"
#include "handoff/win/static_target.h"
#include "res/resource.h"
#include "search/byte_count.h"
#include "search/engine.h"
#include "search/plan.h"
#include "search/win/search_thread.h"
#include "tests/win/failing_new.h"
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

// A key pressed and let go as on the keyboard, through the system's input queue; with `alt`, Alt
// is held down around it.
void PressKey(WORD key, bool alt = false) {
  INPUT keys[4] = {};
  UINT n = 0;
  const auto add = [&](WORD vk, DWORD flags) {
    keys[n].type = INPUT_KEYBOARD;
    keys[n].ki.wVk = vk;
    keys[n++].ki.dwFlags = flags;
  };
  if (alt) add(VK_MENU, 0);
  add(key, 0);
  add(key, KEYEVENTF_KEYUP);
  if (alt) add(VK_MENU, KEYEVENTF_KEYUP);
  SendInput(n, keys, sizeof(INPUT));
}

// What the dialog's thread has taken from its queue, seen by a hook on its GetMessage and
// PeekMessage: the key-ups of the keys pressed, and markers posted after other messages. A key has
// been handled once its key-up is taken (the key-down came first); a posted message once a marker
// posted after it is.
class QueueWatch {
 public:
  QueueWatch() : m_hook(SetWindowsHookExA(WH_GETMESSAGE, Seen, nullptr, GetCurrentThreadId())) {}
  ~QueueWatch() { UnhookWindowsHookEx(m_hook); }
  QueueWatch(const QueueWatch&) = delete;
  QueueWatch& operator=(const QueueWatch&) = delete;
  /// From another thread: presses the key as PressKey does and waits until it has been handled.
  static bool Press(WORD key, bool alt = false) {
    const int before = s_keyUps;
    PressKey(key, alt);
    return WaitUntil([&] { return s_keyUps >= before + (alt ? 2 : 1); });
  }
  /// From another thread: waits until what was posted to `window` before has been handled.
  static bool Settle(HWND window) {
    const int before = s_markers;
    PostMessageA(window, kMarker, 0, 0);
    return WaitUntil([&] { return s_markers > before; });
  }
  template <typename Done>
  static bool WaitUntil(Done done, DWORD ms = 5000) {
    const DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start > ms) return false;
      Sleep(1);
    }
    return true;
  }

 private:
  static constexpr UINT kMarker = WM_APP + 77;
  static LRESULT CALLBACK Seen(int code, WPARAM w, LPARAM l) {
    const auto* msg = reinterpret_cast<const MSG*>(l);
    if (code == HC_ACTION && w == PM_REMOVE) {
      if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP) ++s_keyUps;
      if (msg->message == kMarker) ++s_markers;
    }
    return CallNextHookEx(nullptr, code, w, l);
  }
  static inline std::atomic<int> s_keyUps{0}, s_markers{0};
  HHOOK m_hook;
};

// Brings a window to the front and waits until it is there.
bool BringToFront(HWND window) {
  SetForegroundWindow(window);
  return QueueWatch::WaitUntil([&] { return GetForegroundWindow() == window; });
}

class ComputeTest : public MainDialogTest {
 protected:
  void TearDown() override {
    Release();
    SetThreadStarter(nullptr);
    SetImprovementHook(nullptr);
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
  // Files of 9, 8, 7 and 6 bytes and GO for 15, answered Yes, with the worker held back.
  void StartHeldSearch() {
    Open(nullptr);
    DropSizes({9, 8, 7, 6});
    SetText(IDC_CAPACITY, "15");
    SetThreadStarter(StartHeld);
    Answer({IDYES});
    Press(IDC_COMPUTE);
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
  // Files of about 3 MB, each one byte more than a multiple of 3. With kEndlessCapacity exactly
  // twenty of them fit, so twenty is the only combination size searched; twenty such sizes add up
  // to 2 more than a multiple of 3, never to the capacity (a multiple of 3). An engine may learn
  // that, so the search is held at its first find until it is stopped: it runs until then however
  // fast the engine becomes.
  static constexpr std::int64_t kEndlessCapacity = 60'003'000;
  static void HoldUntilStopped() {
    while (!g_stopSearch.load()) Sleep(1);
  }
  std::vector<std::string> EndlessSearchFiles(int count) {
    SetImprovementHook(HoldUntilStopped);
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<std::int64_t> pick(1'000'000, 1'000'100);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
      paths.push_back(m_dir.path() + "\\r" + std::to_string(i));
      MakeFile(paths.back(), 3 * pick(rng) + 1);
    }
    return paths;
  }
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
  for (int id : {IDC_RESULT_CAPTION, IDC_RESULT_LIMIT_CAPTION, IDC_RESULT_TOTAL, IDC_RESULT_LIMIT, IDC_DRAG_TARGET,
                 IDC_DRAG_HINT})
    EXPECT_TRUE(Visible(id)) << id;
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
  SendMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(progress, IDCANCEL)));
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
  const std::vector<std::string> paths = EndlessSearchFiles(2000);
  const std::int64_t capacity = kEndlessCapacity;
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
    for (char c : r.size)
      if (c != ',') digits += c;
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

TEST_F(ComputeTest, EscInTheProgressDialogStopsTheSearchThroughTheProgramsOwnLoop) {
  // The main dialog runs modally, as in the program, and a real key press (through the input
  // queue, not a posted command) reaches the progress dialog through that loop.
  std::vector<std::string> paths;
  for (int size : {6, 5, 4, 3, 2}) {
    paths.push_back(m_dir.path() + "\\s" + std::to_string(size));
    MakeFile(paths.back(), size);
  }
  SetThreadStarter(StartHeld);
  Answer({IDYES});
  m_dialog = std::make_unique<CMainDialog>();
  QueueWatch watch;
  std::atomic<bool> running{false}, stopped{false}, ended{false};
  std::thread hand([&] {
    for (int i = 0; i < 500 && !IsWindowVisible(m_dialog->GetSafeHwnd()); ++i) Sleep(10);
    Drop(paths);
    SetText(IDC_CAPACITY, "10");
    Press(IDC_COMPUTE);
    const HWND progress = Progress();
    running = progress != nullptr && !IsWindowEnabled(Dlg());
    BringToFront(progress);
    QueueWatch::Press(VK_ESCAPE);
    for (int i = 0; i < 300 && !g_stopSearch.load(); ++i) Sleep(10);
    stopped = g_stopSearch.load() == 1;
    Release();
    for (int i = 0; i < 500 && !ended; ++i) {
      ended = Progress() == nullptr && IsWindowEnabled(Dlg());
      Sleep(10);
    }
    PostMessageA(Dlg(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  m_dialog->DoModal();
  hand.join();
  EXPECT_TRUE(running);
  EXPECT_TRUE(stopped) << "Esc did not reach the progress dialog";
  EXPECT_TRUE(ended);
}

TEST_F(ComputeTest, NoKeyDuringASearchClosesAWindowItNeeds) {
  // As a user meets it: the main dialog runs modally, keys come through the input queue and the
  // program's own loop, and the message boxes are the system's own.
  SetMessageBoxHandler([](HWND owner, const std::string& text, const std::string& caption, UINT type) {
    return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
  });
  std::vector<std::string> paths;
  for (int size : {6, 5, 4, 3, 2}) {
    paths.push_back(m_dir.path() + "\\s" + std::to_string(size));
    MakeFile(paths.back(), size);
  }
  SetThreadStarter(StartHeld);
  m_dialog = std::make_unique<CMainDialog>();
  QueueWatch watch;
  const DWORD uiThread = GetCurrentThreadId();
  std::vector<std::string> seen;
  const auto waitFor = [](auto done) {
    for (int i = 0; i < 500 && !done(); ++i) Sleep(10);
    return done();
  };
  const auto find = [](const std::string& caption) { return FindWindowA(nullptr, caption.c_str()); };
  const auto drive = [&] {
    HWND progress = nullptr;
    // Whether the stop was asked for since the last look, and which windows are there.
    const auto look = [&](const std::string& what) {
      std::string state = what + ": stop " + std::to_string(g_stopSearch.exchange(0));
      if (IsWindowVisible(progress)) state += ", progress";
      if (find(AppTitle())) state += ", box";
      if (find("バージョン情報 Zumibo")) state += ", About";
      if (!IsWindow(Dlg())) state += ", main gone";
      else if (IsWindowEnabled(Dlg())) state += ", main enabled";
      seen.push_back(state);
    };
    const auto press = [&](const std::string& what, HWND to, WORD key, bool alt = false) {
      BringToFront(to);
      QueueWatch::Press(key, alt);
      if (alt && key == VK_SPACE) {  // the system menu (a disabled window opens none), and its Close item
        QueueWatch::WaitUntil([&] {
          if (!IsWindowEnabled(to)) return true;
          GUITHREADINFO gui = {};
          gui.cbSize = sizeof gui;
          return GetGUIThreadInfo(uiThread, &gui) && (gui.flags & GUI_INMENUMODE);
        });
        QueueWatch::Press('C');
      }
      QueueWatch::Settle(Dlg());  // and what the key posted
      look(what);
    };
    waitFor([&] { return IsWindowVisible(m_dialog->GetSafeHwnd()) != FALSE; });
    Drop(paths);
    SetText(IDC_CAPACITY, "10");
    PostMessageA(Dlg(), WM_COMMAND, MAKEWPARAM(IDC_COMPUTE, BN_CLICKED), 0);
    if (!waitFor([&] { return find("計算するぞ～") != nullptr; })) return;
    // Yes, and Enter once too often: the progress dialog has it.
    BringToFront(find("計算するぞ～"));
    QueueWatch::Press(VK_RETURN);
    if (!waitFor([&] { return (progress = Progress()) != nullptr; })) return;
    press("Enter", progress, VK_RETURN);
    press("Space", progress, VK_SPACE);
    press("Tab", progress, VK_TAB);
    press("Esc", progress, VK_ESCAPE);
    press("Alt+F4", progress, VK_F4, true);
    press("Close", progress, VK_SPACE, true);
    // The disabled main window given the keyboard: Enter is GO, refused with a message box.
    press("main Enter", Dlg(), VK_RETURN);
    press("box Enter", find(AppTitle()), VK_RETURN);
    press("main Space", Dlg(), VK_SPACE);
    press("main Esc", Dlg(), VK_ESCAPE);
    press("main Alt+F4", Dlg(), VK_F4, true);
    press("main Close", Dlg(), VK_SPACE, true);
    press("main Enter", Dlg(), VK_RETURN);
    press("box Esc", find(AppTitle()), VK_ESCAPE);
    // Another program asks for the About box meanwhile: it waits, as the commands do.
    PostMessageA(Dlg(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    QueueWatch::Settle(Dlg());
    look("About asked for");
    Release();
    waitFor([&] { return Progress() == nullptr && IsWindowEnabled(Dlg()); });
    SendMessageA(Dlg(), WM_NULL, 0, 0);  // returns once the completion has run to its end
    look("end");
    for (WORD key : {VK_RETURN, VK_ESCAPE}) {
      PostMessageA(Dlg(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
      waitFor([&] { return find("バージョン情報 Zumibo") != nullptr; });
      press(key == VK_RETURN ? "About Enter" : "About Esc", find("バージョン情報 Zumibo"), key);
    }
  };
  std::thread hand([&] {
    drive();
    // Whatever happened, the test ends: the worker goes on, and boxes and dialogs are closed until
    // the main dialog has ended.
    Release();
    for (int i = 0; i < 100 && IsWindow(Dlg()); ++i) {
      for (const std::string& caption : {AppTitle(), std::string("バージョン情報 Zumibo")}) {
        if (HWND w = find(caption)) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
      }
      PostMessageA(Dlg(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      Sleep(100);
    }
  });
  m_dialog->DoModal();
  hand.join();
  // Every key that stops asks only for the stop; nothing closes the progress dialog or the main
  // window, which stays disabled until the search has ended.
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "Enter: stop 1, progress",
                      "Space: stop 1, progress",
                      "Tab: stop 0, progress",
                      "Esc: stop 1, progress",
                      "Alt+F4: stop 1, progress",
                      "Close: stop 1, progress",
                      "main Enter: stop 0, progress, box",
                      "box Enter: stop 0, progress",
                      "main Space: stop 0, progress",
                      "main Esc: stop 0, progress",
                      "main Alt+F4: stop 0, progress",
                      "main Close: stop 0, progress",
                      "main Enter: stop 0, progress, box",
                      "box Esc: stop 0, progress",
                      "About asked for: stop 0, progress",
                      "end: stop 0, main enabled",
                      "About Enter: stop 0, main enabled",
                      "About Esc: stop 0, main enabled",
                  }));
}

namespace {
// Starts the worker as usual and keeps a handle, to see when it has ended.
std::atomic<HANDLE> g_watchedThread{nullptr};
HANDLE StartWatched(LPTHREAD_START_ROUTINE routine, LPVOID argument) {
  HANDLE thread = CreateThread(nullptr, 0, routine, argument, 0, nullptr);
  HANDLE duplicate = nullptr;
  DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
  g_watchedThread = duplicate;
  return thread;
}
}  // namespace

TEST_F(ComputeTest, AQuitMessageDuringASearchStopsTheWorkerBeforeItsDataGoes) {
  const std::vector<std::string> paths = EndlessSearchFiles(300);
  SetThreadStarter(StartWatched);
  Answer({IDYES});
  m_dialog = std::make_unique<CMainDialog>();
  std::atomic<bool> running{false};
  const DWORD self = GetCurrentThreadId();
  std::thread other([&] {
    for (int i = 0; i < 500 && !IsWindowVisible(m_dialog->GetSafeHwnd()); ++i) Sleep(10);
    Drop(paths);
    SetText(IDC_CAPACITY, std::to_string(kEndlessCapacity));
    PostMessageA(Dlg(), WM_COMMAND, MAKEWPARAM(IDC_COMPUTE, BN_CLICKED), 0);
    QueueWatch::WaitUntil([&] { return IsWindowVisible(Progress()) && g_watchedThread.load(); });
    running = Progress() != nullptr && WaitForSingleObject(g_watchedThread, 0) == WAIT_TIMEOUT;
    PostThreadMessageA(self, WM_QUIT, 0, 0);
  });
  m_dialog->DoModal();
  other.join();
  MSG quit;
  EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // passed on to the enclosing loop
  EXPECT_TRUE(running);
  m_dialog.reset();
  ASSERT_NE(g_watchedThread, nullptr);
  EXPECT_EQ(WaitForSingleObject(g_watchedThread, 0), WAIT_OBJECT_0) << "the worker outlived the dialog";
  g_stopSearch.store(1);
  WaitForSingleObject(g_watchedThread, 5000);
  CloseHandle(g_watchedThread);
  g_watchedThread = nullptr;
}

TEST_F(ComputeTest, AfterASearchTheMainWindowIsActiveWithNoRowSelected) {
  // Another program's window is open on the desktop, as it usually is. (It shares the test
  // driver's output pipe, so it must end with the test whatever happens.)
  struct OtherProgram {
    PROCESS_INFORMATION info = {};
    ~OtherProgram() {
      if (!info.hProcess) return;
      TerminateProcess(info.hProcess, 0);
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
    }
  } other;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  char command[] = "notepad.exe";
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &other.info));
  WaitForInputIdle(other.info.hProcess, 5000);
  Open(nullptr);
  DropSizes({9, 8, 7, 6, 5, 4});
  SetForegroundWindow(Dlg());
  Pump(200);
  // Rows picked before GO, of files that stay in the list (8 and 5).
  Select(IDC_FILE_LIST, {1, 4});
  Compute("20");
  ASSERT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0009", "s0007", "s0004"}));
  Pump(200);
  EXPECT_EQ(GetForegroundWindow(), Dlg());
  EXPECT_EQ(SendMessageA(Item(IDC_FILE_LIST), LVM_GETSELECTEDCOUNT, 0, 0), 0);
  // The same when the computation cannot start.
  Select(IDC_RESULT_LIST, {0, 1, 2});
  Press(IDC_MOVE_TO_FILES);
  SetThreadStarter(StartNothing);
  Answer({IDYES});
  Press(IDC_COMPUTE);
  Pump(200);
  EXPECT_EQ(GetForegroundWindow(), Dlg());
}

TEST_F(ComputeTest, NothingTouchesTheFileSetsWhileASearchRuns) {
  StartHeldSearch();
  ASSERT_TRUE(m_dialog->Computing());
  const std::vector<Row> files = Rows(IDC_FILE_LIST);
  const int sources = g_sourceSet.GetCount(), results = g_resultSet.GetCount();
  const std::size_t boxes = m_boxes.size();

  // Another program posts a drop and every command that changes a set.
  const std::string more = m_dir.path() + "\\more";
  MakeFile(more, 3);
  HGLOBAL drop = MakeDropBlock(std::vector<std::string>{more});
  PostMessageA(Item(IDC_FILE_LIST), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  Select(IDC_FILE_LIST, {0, 1});
  for (int id : {IDC_MOVE_TO_RESULTS, IDC_MOVE_TO_FILES, IDC_DELETE_SELECTED, IDC_DELETE_ALL, IDC_PRESET_CD650,
                 IDC_PRESET_CD700, IDC_PRESET_DVD, IDC_PREVIOUS_VALUE}) {
    PostMessageA(Dlg(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
  }
  PostMessageA(Dlg(), WM_COMMAND, MAKEWPARAM(IDC_CAPACITY, EN_CHANGE), reinterpret_cast<LPARAM>(Item(IDC_CAPACITY)));
  Pump(300);
  EXPECT_EQ(g_sourceSet.GetCount(), sources);
  EXPECT_EQ(g_resultSet.GetCount(), results);
  EXPECT_EQ(Rows(IDC_FILE_LIST), files);
  EXPECT_EQ(m_boxes.size(), boxes);  // not even the question of すべての項目を削除
  EXPECT_EQ(GlobalSize(drop), 0u) << "the refused drop was not released";

  Release();
  ASSERT_TRUE(WaitForCompletion());
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"s0009", "s0006"}));
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"s0008", "s0007"}));
}

TEST_F(ComputeTest, NoResultIsShownBesideACapacityItWasNotComputedFor) {
  StartHeldSearch();
  ASSERT_TRUE(m_dialog->Computing());
  // What the last drag handed over, if anything: a press on the hidden target must not read the
  // result set that the worker writes.
  const auto dragged = [] {
    std::string bytes;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (!ResultDataSource() || FAILED(ResultDataSource()->GetData(&format, &medium))) return bytes;
    if (const char* data = static_cast<const char*>(GlobalLock(medium.hGlobal))) {
      bytes.assign(data, GlobalSize(medium.hGlobal));
      GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return bytes;
  };
  const std::string before = dragged();
  PostMessageA(Item(IDC_DRAG_TARGET), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(Item(IDC_DRAG_TARGET), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  // Another program sets the capacity text; its change notification is refused meanwhile.
  SetText(IDC_CAPACITY, "999");
  Pump(300);
  EXPECT_EQ(dragged(), before);

  Release();
  ASSERT_TRUE(WaitForCompletion());
  EXPECT_EQ(Text(IDC_CAPACITY), "999");
  EXPECT_TRUE(Rows(IDC_RESULT_LIST).empty());
  EXPECT_EQ(g_resultSet.GetCount(), 0);
  for (int id : {IDC_RESULT_TOTAL, IDC_RESULT_LIMIT, IDC_DRAG_TARGET}) EXPECT_FALSE(Visible(id)) << id;
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"s0009", "s0008", "s0007", "s0006"}));
  EXPECT_EQ(Text(IDC_FILE_COUNT), "4個");
}

TEST_F(ComputeTest, AWorkerOutOfMemoryKeepsTheLastCompleteResult) {
  Open(nullptr);
  const std::vector<std::int64_t> sizes = {50, 41, 33, 27, 20, 16, 9, 4};
  std::vector<std::string> names;
  for (std::int64_t s : sizes)
    names.push_back("s" + std::string(4 - std::to_string(s).size(), '0') + std::to_string(s));
  DropSizes({50, 41, 33, 27, 20, 16, 9, 4});
  SetText(IDC_CAPACITY, "88");

  // Every combination the result may hold: the initial solution and each improvement after it.
  const SearchPlan plan = PlanSearch(sizes, 88, 0, kNoFileLimit);
  std::vector<std::vector<std::string>> valid(1);
  for (int i : plan.initial) valid[0].push_back(names[i]);
  struct Recorder final : SearchListener {
    void OnImprovement(std::int64_t, Span<const int> indices) override {
      combinations.emplace_back();
      for (int i : indices) combinations.back().push_back((*names)[i]);
    }
    const std::vector<std::string>* names;
    std::vector<std::vector<std::string>> combinations;
  } recorder;
  recorder.names = &names;
  const std::atomic<std::uint8_t> never{0};
  RunSearch(sizes, plan.remaining, plan.bestRemainder, plan.lower, plan.upper, never, recorder);
  ASSERT_GE(recorder.combinations.size(), 3u);
  valid.insert(valid.end(), recorder.combinations.begin(), recorder.combinations.end());

  // The worker's first allocation fails, then its second, and so on, until one run needs no more.
  bool failed = true;
  for (long allowed = 0; failed && allowed < 400; ++allowed) {
    SetThreadStarter(StartHeld);
    Answer({IDYES});
    Press(IDC_COMPUTE);
    ASSERT_NE(g_heldThread, nullptr);
    g_allocationsLeft = allowed;
    g_failingThread = GetThreadId(g_heldThread);
    const std::size_t boxes = m_boxes.size();
    Release();
    ASSERT_TRUE(WaitForCompletion());
    g_failingThread = 0;
    failed = m_boxes.size() > boxes && m_boxes.back().text == "メモリが不足しています。";
    const std::vector<std::string> result = Names(IDC_RESULT_LIST);
    EXPECT_NE(std::find(valid.begin(), valid.end(), result), valid.end())
        << "after " << allowed << " allocations: " << ::testing::PrintToString(result);
    if (!failed) {
      EXPECT_EQ(result, valid.back());
    }
    // Every file back to the list for the next round.
    std::vector<int> all;
    for (std::size_t i = 0; i < result.size(); ++i) all.push_back(static_cast<int>(i));
    Select(IDC_RESULT_LIST, all);
    Press(IDC_MOVE_TO_FILES);
  }
  EXPECT_FALSE(failed);
}

namespace {

// The texts of the window's visible labels that their statics cut: laid out as a static lays out
// its text (words wrapped at its width), each must fit within its control.
std::vector<std::string> ClippedLabels(HWND window) {
  std::vector<std::string> clipped;
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char className[16] = "";
    GetClassNameA(c, className, sizeof className);
    const LONG_PTR type = GetWindowLongPtrA(c, GWL_STYLE) & SS_TYPEMASK;
    const std::string text = CWnd::WindowText(c);
    if (lstrcmpiA(className, "Static") != 0 || !IsWindowVisible(c) || type == SS_BITMAP || type == SS_ICON ||
        text.empty())
      continue;
    RECT client, need;
    GetClientRect(c, &client);
    need = {0, 0, client.right, 0};
    HDC dc = GetDC(c);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(c, dc);
    if (need.right > client.right || need.bottom > client.bottom)
      clipped.push_back(text + " (" + std::to_string(need.right) + "x" + std::to_string(need.bottom) + " in " +
                        std::to_string(client.right) + "x" + std::to_string(client.bottom) + ")");
  }
  return clipped;
}

}  // namespace

TEST_F(ComputeTest, EveryLabelFitsItsControlInEveryState) {
  Open(nullptr);
  // Run again at 144 and 192 DPI by the test below, which says which.
  if (const char* dpi = std::getenv("ZUMIBO_TEST_DPI")) {
    ASSERT_EQ(DpiOf(Dlg()), static_cast<UINT>(std::atoi(dpi)));
  }
  EXPECT_EQ(ClippedLabels(Dlg()), std::vector<std::string>()) << "empty";
  DropSizes({9'000'000'000, 8'000'000'000, 7'000'000'000, 6'000'000'000});
  EXPECT_EQ(ClippedLabels(Dlg()), std::vector<std::string>()) << "listed";
  SetText(IDC_CAPACITY, "15,000,000,000");
  SetThreadStarter(StartHeld);
  Answer({IDYES});
  Press(IDC_COMPUTE);
  ASSERT_NE(Progress(), nullptr);
  EXPECT_EQ(ClippedLabels(Progress()), std::vector<std::string>()) << "progress";
  EXPECT_EQ(ClippedLabels(Dlg()), std::vector<std::string>()) << "computing";
  Release();
  ASSERT_TRUE(WaitForCompletion());
  EXPECT_EQ(ClippedLabels(Dlg()), std::vector<std::string>()) << "result";
}

TEST(LabelsAtOtherDpis, EveryLabelFitsItsControlAt144And192Dpi) {
  // The system's DPI is read when a process starts: this test program runs the one above again
  // with the prefix's DPI set to each, and puts the DPI back.
  if (std::getenv("ZUMIBO_TEST_DPI")) GTEST_SKIP() << "the child run";
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  DWORD previous = 0, size = sizeof previous;
  const bool hadPrevious =
      RegQueryValueExA(key, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous), &size) == ERROR_SUCCESS;
  for (DWORD dpi : {144u, 192u}) {
    RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    SetEnvironmentVariableA("ZUMIBO_TEST_DPI", std::to_string(dpi).c_str());
    std::string command =
        "\"" + ModuleFileName() + "\" --gtest_filter=ComputeTest.EveryLabelFitsItsControlInEveryState";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    DWORD code = 1;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
      WaitForSingleObject(child.hProcess, 120000);
      GetExitCodeProcess(child.hProcess, &code);
      CloseHandle(child.hThread);
      CloseHandle(child.hProcess);
    }
    EXPECT_EQ(code, 0u) << "at " << dpi << " DPI";
  }
  SetEnvironmentVariableA("ZUMIBO_TEST_DPI", nullptr);
  if (hadPrevious) RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous), size);
  else RegDeleteValueA(key, "LogPixels");
  RegCloseKey(key);
}
