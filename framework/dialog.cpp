#include "framework/dialog.h"

#include "framework/app.h"

CDialog::~CDialog() { DestroyWindow(); }

INT_PTR CDialog::DoModal() {
  HWND owner = m_parent;
  if (!owner && AfxGetApp() && AfxGetApp()->m_pMainWnd) owner = AfxGetApp()->m_pMainWnd->GetSafeHwnd();
  if (!owner) owner = GetActiveWindow();
  m_modal = true;
  m_result = DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_templateId), owner, DialogProc, reinterpret_cast<LPARAM>(this));
  m_modal = false;
  return m_result;
}

bool CDialog::Create(UINT templateId, HWND parent) {
  m_templateId = templateId;
  m_modal = false;
  return CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId), parent, DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::DestroyWindow() {
  if (m_hWnd && IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
}

void CDialog::EndDialog(int result) {
  m_result = result;
  if (m_modal) {
    ::EndDialog(m_hWnd, result);
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

BOOL CDialog::OnCommand(WPARAM w, LPARAM l) {
  LRESULT ignored = 0;
  if (OnMessage(WM_COMMAND, w, l, ignored)) return TRUE;
  if (HIWORD(w) != BN_CLICKED) return FALSE;
  switch (LOWORD(w)) {
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
        return self->OnCommand(w, l);
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
    if (message == WM_QUERYDRAGICON || message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORDLG) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  } catch (...) {
    ReportException(hwnd);
    return TRUE;
  }
}
