#pragma once
// The application object: one global instance, created before the entry point runs, whose
// InitInstance does the program's whole work.

#include <windows.h>

#include <string>

class CWnd;

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  /// The program's work. Returning false ends the process without a message loop.
  virtual BOOL InitInstance() { return FALSE; }
  /// A message loop until WM_QUIT, for an InitInstance that returns true.
  virtual int Run();

  HINSTANCE m_hInstance = nullptr;
  /// The main window: owner of modal dialogs that are given no parent.
  CWnd* m_pMainWnd = nullptr;
};

/// The one application object, or null before it exists (tests run without one).
CWinApp* AfxGetApp();

/// The module whose resources the program uses.
HINSTANCE AfxGetResourceHandle();

/// The application title: the executable's file name without its extension.
const std::string& AppTitle();

/// The full path of the running executable, at any length.
std::string ModuleFileName();

/// Tells the user about an exception that reached a window procedure or the entry point
/// (allocation failures above all) and lets the program carry on where it can.
void ReportException(HWND owner = nullptr);

/// The message of an allocation failure, for one that was caught and handled elsewhere.
void ReportOutOfMemory(HWND owner);

/// The hourglass while a long operation runs on the user-interface thread.
class CWaitCursor {
 public:
  CWaitCursor() : m_previous(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
  ~CWaitCursor() { SetCursor(m_previous); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
  /// Shows the hourglass again after something else changed the cursor.
  void Restore() { SetCursor(LoadCursor(nullptr, IDC_WAIT)); }

 private:
  HCURSOR m_previous;
};
