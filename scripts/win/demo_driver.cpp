// Shows Zumibo's main job without a person at the keyboard: starts Zumibo.exe, drops a folder on
// its file list, presses the DVD preset and GO, answers the question with Yes, waits for the
// result, takes a picture of the window, ends the program with 終了 and prints the chosen total.
//   zumibo_demo.exe ZUMIBO_EXE FOLDER PICTURE.bmp [STAGES_FOLDER]
// With STAGES_FOLDER it also takes pictures on the way (a refusal, the listed files, the progress
// dialog, the result) for the documentation.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win/screen.h"

namespace {

DWORD g_pid = 0;

std::string Text(HWND w) {
  char buffer[512] = "";
  SendMessageA(w, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

template <typename Done>
bool WaitFor(Done done, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    Sleep(50);
  }
  return true;
}

HWND FindOwnWindow(const char* caption) { return FindProcessWindow(g_pid, caption); }

int Fail(const char* what) {
  std::fprintf(stderr, "zumibo_demo: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return Fail("usage: zumibo_demo.exe ZUMIBO_EXE FOLDER PICTURE.bmp [STAGES_FOLDER]");
  const std::string exe = argv[1], folder = argv[2], picture = argv[3], stages = argc == 5 ? argv[4] : "";

  PROCESS_INFORMATION pi = {};
  if (!StartInItsFolder(exe, pi)) return Fail("cannot start Zumibo.exe");
  g_pid = pi.dwProcessId;
  HWND main = nullptr;
  if (!WaitFor([&] { return (main = FindOwnWindow("Zumibo Ver1.00")) != nullptr; }, 30000))
    return Fail("the window did not appear");
  HWND list = GetDlgItem(main, IDC_FILE_LIST);
  Sleep(500);
  if (!stages.empty()) {
    SaveWindowPicture(main, stages + "\\empty.bmp");
    // GO with nothing listed: the refusal, answered with OK.
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_COMPUTE, BN_CLICKED), 0);
    HWND question = nullptr, refusal = nullptr;
    if (WaitFor([&] { return (question = FindOwnWindow("計算するぞ～")) != nullptr; }, 10000)) {
      PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
      if (WaitFor([&] { return (refusal = FindOwnWindow("ファイルなし")) != nullptr; }, 10000)) {
        Sleep(300);
        SaveWindowPicture(refusal, stages + "\\refusal.bmp");
        PostMessageA(refusal, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        WaitFor([&] { return !FindOwnWindow("ファイルなし"); }, 5000);
      }
    }
  }

  // The folder dropped on the file list, as a file manager drops it. A drop handle is memory of
  // the receiving process, so the DROPFILES block is written there.
  std::string block(sizeof(DROPFILES), '\0');
  reinterpret_cast<DROPFILES*>(block.data())->pFiles = sizeof(DROPFILES);
  block += folder;
  block.append(2, '\0');
  void* remote = VirtualAllocEx(pi.hProcess, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote || !WriteProcessMemory(pi.hProcess, remote, block.data(), block.size(), nullptr))
    return Fail("cannot prepare the drop");
  PostMessageA(list, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
  if (!WaitFor([&] { return SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 0; }, 30000))
    return Fail("the drop did not arrive");
  Sleep(300);
  const int dropped = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  if (!stages.empty()) SaveWindowPicture(main, stages + "\\files.bmp");

  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_PRESET_DVD, BN_CLICKED), 0);
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_COMPUTE, BN_CLICKED), 0);
  HWND question = nullptr;
  if (!WaitFor([&] { return (question = FindOwnWindow("計算するぞ～")) != nullptr; }, 10000))
    return Fail("GO asked nothing");
  PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);

  // The search ends by itself once the fit is proven best; 完了 stops it after a minute otherwise.
  const auto idle = [&] {
    return IsWindowEnabled(main) && !FindOwnWindow("最適解算出完了") &&
           IsWindowVisible(GetDlgItem(main, IDC_RESULT_TOTAL));
  };
  if (!WaitFor(idle, 60000)) {
    if (HWND progress = FindOwnWindow("最適解算出完了"))
      PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (!WaitFor(idle, 10000)) return Fail("the computation did not end");
  }
  Sleep(500);
  SetForegroundWindow(main);
  Sleep(300);
  SaveWindowPicture(main, picture);
  const std::string total = Text(GetDlgItem(main, IDC_RESULT_TOTAL)), limit = Text(GetDlgItem(main, IDC_RESULT_LIMIT));
  const int chosen = static_cast<int>(SendMessageA(GetDlgItem(main, IDC_RESULT_LIST), LVM_GETITEMCOUNT, 0, 0));

  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  WaitForSingleObject(pi.hProcess, 15000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("files dropped: %d\nchosen: %d files, total %s of %s\n", dropped, chosen, total.c_str(), limit.c_str());
  return 0;
}
