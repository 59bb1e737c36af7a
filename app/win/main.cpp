// The program's entry point: the one application object does everything.
#include <windows.h>

#include "app/win/main_app.h"
#include "framework/ole.h"

namespace {
CMainApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  theApp.m_hInstance = instance;
  try {
    if (theApp.InitInstance()) return theApp.Run();
  } catch (...) {
    ReportException();
  }
  // OLE, started by the main dialog for the drag-out, ends with the application.
  AfxOleTerm();
  return 0;
}
