// Black-box: the real Zumibo.exe started as its own process, installed as the release zip
// installs it (with the shipped medias.ini and the manual) in a folder whose path has spaces and
// Japanese characters.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "app/settings.h"
#include "files/cp932.h"
#include "framework/app.h"
#include "res/resource.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/screen.h"
#include "tests/win/win_temp_dir.h"

namespace {

// The source tree as Wine shows it: Z: followed by the Linux path.
std::string SourcePath(const std::string& relative) {
  std::string path = std::string("Z:") + ZUMIBO_SOURCE_DIR + "/" + relative;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

HWND WaitForWindow(const char* caption, DWORD pid, DWORD ms) {
  HWND found = nullptr;
  PumpUntil(
      [&] {
        for (HWND w = FindWindowA(nullptr, caption); w; w = FindWindowExA(nullptr, w, nullptr, caption)) {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if (owner == pid && IsWindowVisible(w)) found = w;
        }
        return found != nullptr;
      },
      ms);
  return found;
}

std::string RemoteText(HWND w) {
  char buffer[256] = "";
  SendMessageA(w, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

}  // namespace

TEST(Smoke, TheInstalledProgramStartsFindsItsSettingsAndEndsWithEsc) {
  WinTempDir temp;
  const std::string dir = temp.path() + "\\Program Files\\ズミボ ソフト";
  ASSERT_TRUE(CreateDirectoryA((temp.path() + "\\Program Files").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
  const std::string exe = dir + "\\Zumibo.exe";
  ASSERT_TRUE(CopyFileA((FolderOf(ModuleFileName()) + "Zumibo.exe").c_str(), exe.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(SourcePath("res/medias.ini").c_str(), (dir + "\\medias.ini").c_str(), FALSE));
  const std::string shipped = ReadWinFile(dir + "\\medias.ini");
  // An old time stamp on the copy, to see that the program writes the file when it ends.
  const auto writeTime = [&] {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA((dir + "\\medias.ini").c_str(), GetFileExInfoStandard, &data);
    return (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  };
  {
    HANDLE h =
        CreateFileA((dir + "\\medias.ini").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME old = {0x12345678, 0x01D00000};  // early 2014
    SetFileTime(h, nullptr, nullptr, &old);
    CloseHandle(h);
  }
  const std::uint64_t before = writeTime();

  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string commandLine = "\"" + exe + "\"";
  ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, temp.path().c_str(),
                             &si, &pi));
  HWND window = WaitForWindow("Zumibo Ver1.00", pi.dwProcessId, 15000);
  EXPECT_NE(window, nullptr);
  if (window) {
    Pump(300);
    if (!ScreenshotDir().empty()) SaveWindowPicture(window, ScreenshotDir() + "\\smoke-start.bmp");
    // The shipped settings were read: the maximum count, and the DVD preset's capacity.
    EXPECT_EQ(RemoteText(GetDlgItem(window, IDC_MAX_COUNT)), "9999");
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_PRESET_DVD, BN_CLICKED), 0);
    EXPECT_EQ(RemoteText(GetDlgItem(window, IDC_CAPACITY)), "4,691,361,792");
    // A drop from another process, in UTF-16 as the shell hands paths over: the block is memory
    // of the receiving process that is not a global block, so its size cannot be asked for.
    const std::string dropped = temp.path() + "\\落とした.txt";
    WriteWinFile(dropped, "12345");
    std::wstring wide(dropped.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_ACP, 0, dropped.data(), static_cast<int>(dropped.size()), wide.data(), static_cast<int>(wide.size()))));
    HGLOBAL block = MakeDropBlock(std::vector<std::wstring>{wide});
    const SIZE_T size = GlobalSize(block);
    void* remote = VirtualAllocEx(pi.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    EXPECT_TRUE(remote && WriteProcessMemory(pi.hProcess, remote, GlobalLock(block), size, nullptr));
    GlobalUnlock(block);
    GlobalFree(block);
    PostMessageA(GetDlgItem(window, IDC_FILE_LIST), WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    EXPECT_TRUE(PumpUntil([&] { return RemoteText(GetDlgItem(window, IDC_FILE_COUNT)) == "1個"; }, 10000));
    EXPECT_EQ(RemoteText(GetDlgItem(window, IDC_FILE_TOTAL)), "5バイト");
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
  // Written again at the end, unchanged: Esc does not take the capacity typed or chosen.
  EXPECT_GT(writeTime(), before);
  EXPECT_EQ(ReadWinFile(dir + "\\medias.ini"), shipped);
}
