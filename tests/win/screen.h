#pragma once
// Test helpers that look at windows from outside: finding them, pictures of them.

#include <windows.h>

#include <string>

/// Starts a program with its own folder as the working folder; false when it cannot start.
bool StartInItsFolder(const std::string& exe, PROCESS_INFORMATION& started);

/// A visible top-level window of the process with this caption, or null.
HWND FindProcessWindow(DWORD pid, const char* caption);

/// Saves the screen area of a window (frame included) as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::string& path);

/// How many pixels of the window's screen area are dark (text and edges, not a plain face).
int DarkPixels(HWND window);

/// Where pictures of a test run go (ZUMIBO_SCREENSHOT_DIR), or the empty text for nowhere.
std::string ScreenshotDir();

/// Processes pending messages of this thread for up to `ms` milliseconds, or until done() is true.
template <typename Done>
bool PumpUntil(Done done, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

inline void Pump(DWORD ms = 50) {
  PumpUntil([] { return false; }, ms);
}
