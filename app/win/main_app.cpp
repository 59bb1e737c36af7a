#include "app/win/main_app.h"

#include <commctrl.h>

#include "app/win/main_dialog.h"

BOOL CMainApp::InitInstance() {
  InitCommonControls();
  // The dialog's constructor reads medias.ini and its destructor writes it.
  CMainDialog dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
