// The ヘルプ button, and the About box on the system menu.
#include <windows.h>
#include <shellapi.h>

#include "app/win/main_dialog.h"
#include "app/manual.h"
#include "framework/app.h"
#include "res/resource.h"

namespace {

/// The About box: everything it shows comes from its template.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};

}  // namespace

std::optional<LRESULT> CMainDialog::OnSysCommand(WPARAM w, LPARAM) {
  if ((w & 0xFFF0) != IDM_ABOUTBOX) return std::nullopt;
  CAboutDlg about;
  about.DoModal();
  return 0;
}

// Opens the manual with the program associated with it; nothing is reported either way.
void CMainDialog::OnManual() {
  const std::string manual = ManualPathBeside(ModuleFileName());
  char program[MAX_PATH] = "";
  FindExecutableA(manual.c_str(), nullptr, program);
  WinExec(ManualCommandLine(program, manual).c_str(), SW_SHOWMAXIMIZED);
}
