#include "framework/dialog.h"

#include "framework/app.h"

CDialog::~CDialog() { DestroyWindow(); }

// The system's own modal loop (DialogBoxParam) gives the keyboard handling to its dialog alone, so
// a modeless dialog opened from it (the progress dialog) would never see Esc or Tab. The loop here
// does what it does, and hands every dialog of the thread its keys.
INT_PTR CDialog::DoModal() {
  HWND owner = m_parent;
  if (!owner && AfxGetApp() && AfxGetApp()->m_pMainWnd) owner = AfxGetApp()->m_pMainWnd->GetSafeHwnd();
  if (!owner) owner = GetActiveWindow();
  if (owner) owner = GetAncestor(owner, GA_ROOT);
  m_modal = true;
  m_endModal = false;
  m_result = -1;
  HWND self = CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_templateId), owner, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
  if (!self) {
    m_modal = false;
    return -1;
  }
  // The owner takes no input while the dialog runs, unless the dialog ended already while it was
  // being initialised.
  const bool disabledOwner = owner && IsWindowEnabled(owner) && !m_endModal;
  if (disabledOwner) EnableWindow(owner, FALSE);
  if (!m_endModal && !IsWindowVisible(self)) ShowWindow(self, SW_SHOW);
  RunModalLoop();
  // The owner is enabled before the dialog goes, so that the activation returns to it and not to
  // another program's window.
  if (disabledOwner) EnableWindow(owner, TRUE);
  if (owner && GetActiveWindow() == self) SetActiveWindow(owner);
  if (IsWindow(self)) ::DestroyWindow(self);
  m_hWnd = nullptr;
  m_modal = false;
  return m_result;
}

void CDialog::RunModalLoop() {
  MSG msg;
  while (!m_endModal) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // the enclosing loop ends too
      break;
    }
    if (got < 0) break;
    if (PreTranslateDialogMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool PreTranslateDialogMessage(MSG& msg) {
  if (!msg.hwnd) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  if (!root || !CDialog::FromHandle(root)) return false;
  return IsDialogMessageA(root, &msg) != FALSE;
}

bool CDialog::Create(UINT templateId, HWND parent) {
  m_templateId = templateId;
  m_modal = false;
  return CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId), parent, DialogProc,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::DestroyWindow() {
  if (m_hWnd && IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
}

void CDialog::EndDialog(int result) {
  m_result = result;
  if (m_modal) {
    m_endModal = true;
    PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wakes the loop, which ends before its next wait
  } else {
    DestroyWindow();
  }
}

CDialog* CDialog::FromHandle(HWND hwnd) {
  if (!hwnd || reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hwnd, DWLP_DLGPROC)) != DialogProc) return nullptr;
  return reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
}

BOOL CDialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

void CDialog::OnOK() {
  DoDataExchange();
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(UINT id, UINT code) {
  LRESULT ignored = 0;
  if (OnMessage(WM_COMMAND, MAKEWPARAM(id, code), 0, ignored)) return TRUE;
  if (code != BN_CLICKED) return FALSE;
  switch (id) {
    case IDOK:
      OnOK();
      return TRUE;
    case IDCANCEL:
      OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  CDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(l);
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->m_hWnd = hwnd;
  } else {
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  try {
    switch (message) {
      case WM_INITDIALOG:
        return self->OnInitDialog();
      case WM_COMMAND:
        return self->OnCommand(LOWORD(w), HIWORD(w));
      case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        if (self->m_hWnd == hwnd) self->m_hWnd = nullptr;
        return FALSE;
      default:
        break;
    }
    LRESULT result = 0;
    if (!self->OnMessage(message, w, l, result)) return FALSE;
    // These few messages take their result as the procedure's return value.
    if (message == WM_QUERYDRAGICON || message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORDLG)
      return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  } catch (...) {
    ReportException(hwnd);
    return TRUE;
  }
}
