// Checks the real Zumibo.exe from outside, as another program or a user sees it, and prints what
// it finds:
//   minimised and restored twice, at its first size and widened, the window keeps its size;
//   with 3, 8 and 9 rows both lists have no horizontal scroll bar and their columns add up to
//     their client width;
//   a capacity text set by another program during a search leaves no result beside it;
//   20,000 photos dropped, one more file dropped onto them, all moved down, the result discarded:
//     the wall time of each until the window has handled it.
//   zumibo_outside_checks.exe ZUMIBO_EXE FIXTURE_FOLDER PICTURE_FOLDER
// FIXTURE_FOLDER holds rows\ (nine files), endless\ (files no search finishes with), photos\ (20,000
// files in 200 folders) and extra.jpg (scripts/outside-checks makes them).
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win/screen.h"

namespace {

DWORD g_pid = 0;
HANDLE g_process = nullptr;
int g_failures = 0;

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename Done>
bool WaitFor(Done done, DWORD ms = 30000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    Sleep(2);
  }
  return true;
}

void Check(bool ok, const std::string& what) {
  std::printf("%s  %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

HWND FindOwnWindow(const char* caption) { return FindProcessWindow(g_pid, caption); }

std::string Text(HWND w) {
  char buffer[512] = "";
  SendMessageA(w, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

int Rows(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

// Memory of the program's process, for the messages that carry a pointer.
void* Remote(const void* data, std::size_t size) {
  void* at = VirtualAllocEx(g_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (at) WriteProcessMemory(g_process, at, data, size, nullptr);
  return at;
}

// A drop as a file manager makes it: the DROPFILES block is memory of the receiving process.
void Drop(HWND list, const std::vector<std::string>& paths) {
  std::string block(sizeof(DROPFILES), '\0');
  reinterpret_cast<DROPFILES*>(block.data())->pFiles = sizeof(DROPFILES);
  for (const std::string& p : paths) block += p + '\0';
  block += '\0';
  PostMessageA(list, WM_DROPFILES, reinterpret_cast<WPARAM>(Remote(block.data(), block.size())), 0);
}

void SelectAll(HWND list) {
  LVITEMA all = {};
  all.stateMask = all.state = LVIS_SELECTED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(Remote(&all, sizeof all)));
}

void Command(HWND main, int id) { PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// Waits until the program's thread has handled everything sent and posted before.
void Settle(HWND main) {
  PostMessageA(main, WM_NULL, 0, 0);
  SendMessageA(main, WM_NULL, 0, 0);
}

// A picture of the window as it is now: everything painted first.
void Picture(HWND main, const std::string& path) {
  RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Settle(main);
  SaveWindowPicture(main, path);
}

std::string Size(const RECT& r) { return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top); }

void CheckColumns(HWND main, int id, int rows) {
  HWND list = GetDlgItem(main, id);
  RECT client;
  GetClientRect(list, &client);
  int sum = 0;
  for (int c = 0; c < 3; ++c) sum += static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, c, 0));
  const LONG_PTR style = GetWindowLongPtrA(list, GWL_STYLE);
  Check(Rows(list) == rows && sum == client.right && !(style & WS_HSCROLL),
        std::string(id == IDC_FILE_LIST ? "file list" : "result list") + ", " + std::to_string(Rows(list)) +
            " rows: columns " + std::to_string(sum) + " of a client " + std::to_string(client.right) + " px wide, " +
            (style & WS_HSCROLL ? "a" : "no") + " horizontal scroll bar, " + (style & WS_VSCROLL ? "a" : "no") +
            " vertical one");
}

void MinimiseAndRestore(HWND main, const std::string& when) {
  RECT before, after;
  GetWindowRect(main, &before);
  bool states = true;
  for (int i = 0; i < 2; ++i) {
    PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    states = WaitFor([&] { return IsIconic(main) != FALSE; }, 5000) && states;
    PostMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    states = WaitFor([&] { return !IsIconic(main); }, 5000) && states;
  }
  Settle(main);
  GetWindowRect(main, &after);
  Check(states && Size(before) == Size(after),
        "minimised and restored twice " + when + ": " + Size(before) + " before, " + Size(after) + " after");
}

void Answer(const char* caption, int button) {
  HWND box = nullptr;
  if (WaitFor([&] { return (box = FindOwnWindow(caption)) != nullptr; }, 10000))
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  else Check(false, std::string("no box ") + caption);
}

void DeleteAll(HWND main) {
  Command(main, IDC_DELETE_ALL);
  Answer("リストから削除", IDYES);
  WaitFor([&] { return Rows(GetDlgItem(main, IDC_FILE_LIST)) == 0; });
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> paths;
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return paths;
  do {
    if (d.cFileName[0] != '.') paths.push_back(folder + "\\" + d.cFileName);
  } while (FindNextFileA(h, &d));
  FindClose(h);
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: zumibo_outside_checks.exe ZUMIBO_EXE FIXTURE_FOLDER PICTURE_FOLDER\n");
    return 2;
  }
  const std::string exe = argv[1], fixture = argv[2], pictures = argv[3];
  PROCESS_INFORMATION pi = {};
  if (!StartInItsFolder(exe, pi)) return 2;
  g_pid = pi.dwProcessId;
  g_process = pi.hProcess;
  HWND main = nullptr;
  if (!WaitFor([&] { return (main = FindOwnWindow("Zumibo Ver1.00")) != nullptr; })) return 2;
  Settle(main);
  HWND files = GetDlgItem(main, IDC_FILE_LIST), results = GetDlgItem(main, IDC_RESULT_LIST);

  MinimiseAndRestore(main, "at the first size");
  RECT window;
  GetWindowRect(main, &window);
  SetWindowPos(main, nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top,
               SWP_NOMOVE | SWP_NOZORDER);
  Settle(main);
  MinimiseAndRestore(main, "100 px wider");
  SetWindowPos(main, nullptr, 0, 0, window.right - window.left, window.bottom - window.top, SWP_NOMOVE | SWP_NOZORDER);
  Settle(main);

  // Rows of names of one width, three, eight and nine of them, in each list in turn.
  const std::vector<std::string> rows = Listing(fixture + "\\rows");
  std::size_t dropped = 0;
  for (std::size_t n : {3u, 8u, 9u}) {
    Drop(files, std::vector<std::string>(rows.begin() + dropped, rows.begin() + n));
    dropped = n;
    WaitFor([&] { return Rows(files) == static_cast<int>(n); });
    Settle(main);
    CheckColumns(main, IDC_FILE_LIST, static_cast<int>(n));
    Picture(main, pictures + "\\rows-" + std::to_string(n) + "-files.bmp");
    SelectAll(files);
    Command(main, IDC_MOVE_TO_RESULTS);
    WaitFor([&] { return Rows(results) == static_cast<int>(n); });
    Settle(main);
    CheckColumns(main, IDC_RESULT_LIST, static_cast<int>(n));
    Picture(main, pictures + "\\rows-" + std::to_string(n) + "-results.bmp");
    SelectAll(results);
    Command(main, IDC_MOVE_TO_FILES);
    WaitFor([&] { return Rows(files) == static_cast<int>(n); });
  }
  DeleteAll(main);

  // A search that never ends by itself; another program sets the capacity text meanwhile.
  Drop(files, {fixture + "\\endless"});
  WaitFor([&] { return Rows(files) > 0; });
  SendMessageA(GetDlgItem(main, IDC_CAPACITY), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("60,003,000"));
  Command(main, IDC_COMPUTE);
  Answer("計算するぞ～", IDYES);
  HWND progress = nullptr;
  WaitFor([&] { return (progress = FindOwnWindow("最適解算出完了")) != nullptr; });
  SendMessageA(GetDlgItem(main, IDC_CAPACITY), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("999"));
  Sleep(300);
  PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  WaitFor([&] { return IsWindowEnabled(main) && !FindOwnWindow("最適解算出完了"); });
  Settle(main);
  Picture(main, pictures + "\\capacity-changed.bmp");
  Check(Rows(results) == 0 && !IsWindowVisible(GetDlgItem(main, IDC_RESULT_TOTAL)) &&
            Text(GetDlgItem(main, IDC_CAPACITY)) == "999",
        "capacity set to 999 by another program during a search: " + std::to_string(Rows(results)) +
            " result rows, result panel " + (IsWindowVisible(GetDlgItem(main, IDC_RESULT_TOTAL)) ? "shown" : "hidden") +
            ", " + std::to_string(Rows(files)) + " files still listed");
  DeleteAll(main);

  // Names that Shift_JIS cannot write: the notice, and the one file it can.
  Drop(files, {fixture + "\\names"});
  HWND notice = nullptr;
  WaitFor([&] { return (notice = FindOwnWindow("Zumibo")) != nullptr; }, 10000);
  std::string noticeText;
  for (HWND c = notice ? GetWindow(notice, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (Text(c).size() > noticeText.size()) noticeText = Text(c);
  }
  if (notice) {
    RedrawWindow(notice, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle(notice);
    SaveWindowPicture(notice, pictures + "\\notice.bmp");
    PostMessageA(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  WaitFor([&] { return IsWindowEnabled(main) && !FindOwnWindow("Zumibo"); }, 5000);
  Check(noticeText.rfind("2個のファイルまたはフォルダは、名前に Shift_JIS", 0) == 0 && Rows(files) == 1,
        "two names Shift_JIS cannot write (an accented e, a wave dash) told in the notice, " +
            std::to_string(Rows(files)) + " file listed");
  DeleteAll(main);

  // 20,000 photos in 200 folders, one more file, every row moved down, the result discarded.
  const auto timed = [&](const std::string& what, auto act, auto done, double aim) {
    const double start = Now();
    act();
    const bool ok = WaitFor(done, 60000);
    Settle(main);
    const double seconds = Now() - start;
    Check(ok && seconds < aim, what + ": " + std::to_string(static_cast<int>(seconds * 1000)) + " ms");
  };
  timed(
      "20,000 photos dropped", [&] { Drop(files, {fixture + "\\photos"}); }, [&] { return Rows(files) == 20000; }, 1.0);
  Picture(main, pictures + "\\photos.bmp");
  timed(
      "one more file dropped onto 20,000", [&] { Drop(files, {fixture + "\\extra.jpg"}); },
      [&] { return Rows(files) == 20001; }, 1.0);
  SelectAll(files);
  timed(
      "20,001 rows moved down", [&] { Command(main, IDC_MOVE_TO_RESULTS); }, [&] { return Rows(results) == 20001; },
      1.0);
  Picture(main, pictures + "\\photos-moved.bmp");
  timed(
      "that result discarded",
      [&] { SendMessageA(GetDlgItem(main, IDC_CAPACITY), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("1")); },
      [&] { return Rows(results) == 0; }, 1.0);

  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  WaitForSingleObject(pi.hProcess, 15000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("%d check(s) failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
