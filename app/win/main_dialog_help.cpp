// The ヘルプ button, and the About box on the system menu.
#include <windows.h>
#include <shellapi.h>

#include "app/manual.h"
#include "app/win/main_dialog.h"
#include "framework/app.h"
#include "res/resource.h"

namespace {

/// The About box: everything it shows comes from its template.
class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(HWND owner) : CDialog(IDD_ABOUTBOX, owner) {}
};

}  // namespace

bool CMainDialog::OnSysCommand(UINT command) {
  if (command != IDM_ABOUTBOX) return false;
  // Like the commands, the About box waits while a computation runs (only another program can ask
  // for it then): opened over the disabled window, it would be left under an enabled one at the end.
  if (Computing()) return true;
  CAboutDlg about(m_hWnd);
  about.DoModal();
  return true;
}

// Opens the manual with the program associated with it; nothing is reported either way.
void CMainDialog::OnManual() {
  const std::string manual = ManualPathBeside(ModuleFileName());
  char program[MAX_PATH] = "";
  FindExecutableA(manual.c_str(), nullptr, program);
  WinExec(ManualCommandLine(program, manual).c_str(), SW_SHOWMAXIMIZED);
}
