// Black-box: the real Zumibo.exe started as its own process from a copy in a fresh folder.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "files/cp932.h"
#include "tests/win/screen.h"
#include "tests/win/win_temp_dir.h"

namespace {

std::string BuiltProgram() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return FolderOf(self) + "Zumibo.exe";
}

HWND WaitForWindow(const char* caption, DWORD pid, DWORD ms) {
  HWND found = nullptr;
  PumpUntil([&] {
    HWND w = FindWindowA(nullptr, caption);
    DWORD owner = 0;
    if (w) GetWindowThreadProcessId(w, &owner);
    if (w && owner == pid && IsWindowVisible(w)) found = w;
    return found != nullptr;
  }, ms);
  return found;
}

}  // namespace

TEST(Smoke, StartsShowsItsWindowAndEndsWithEsc) {
  WinTempDir dir;
  const std::string exe = dir.path() + "\\Zumibo.exe";
  ASSERT_TRUE(CopyFileA(BuiltProgram().c_str(), exe.c_str(), FALSE)) << BuiltProgram();

  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string commandLine = "\"" + exe + "\"";
  ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.path().c_str(), &si, &pi));
  HWND window = WaitForWindow("Zumibo Ver1.00", pi.dwProcessId, 15000);
  EXPECT_NE(window, nullptr);
  if (window) {
    Pump(300);
    if (!ScreenshotDir().empty()) SaveWindowPicture(window, ScreenshotDir() + "\\smoke-start.bmp");
    // Esc goes through the dialog's own key handling, as a user's key press does.
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
  }
  const DWORD waited = WaitForSingleObject(pi.hProcess, 15000);
  EXPECT_EQ(waited, WAIT_OBJECT_0);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}
