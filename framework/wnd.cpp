#include "framework/wnd.h"

#include <vector>

#include "framework/app.h"

std::string CWnd::WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  const int got = GetWindowTextA(hwnd, buffer.data(), length + 1);
  return std::string(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

CWnd::~CWnd() { Detach(); }

void CWnd::Attach(HWND hwnd) {
  Detach();
  m_hWnd = hwnd;
}

// Classic subclassing: the object sits in GWLP_USERDATA and the window's own procedure is called
// for the rest. (A lookup of window properties on every message is slow under Wine, which makes
// filling a list of thousands of rows take seconds.) The Unicode procedure is used so that no
// message is converted on the way through.
void CWnd::SubclassWindow(HWND hwnd) {
  Attach(hwnd);
  if (!hwnd) return;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_ownProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
  // A window that could not be subclassed keeps its own procedure and is only attached.
  if (!m_ownProc) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
}

void CWnd::Detach() {
  if (m_ownProc && m_hWnd && IsWindow(m_hWnd) &&
      reinterpret_cast<WNDPROC>(GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == SubclassProc) {
    SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_ownProc));
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
  }
  m_ownProc = nullptr;
  m_hWnd = nullptr;
}

LRESULT CWnd::Default(UINT message, WPARAM w, LPARAM l) const {
  return CallWindowProcW(m_ownProc, m_hWnd, message, w, l);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<CWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || !self->m_ownProc) return DefWindowProcW(hwnd, message, w, l);
  if (message == WM_NCDESTROY) {
    const WNDPROC own = self->m_ownProc;
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_ownProc = nullptr;
    self->m_hWnd = nullptr;
    return CallWindowProcW(own, hwnd, message, w, l);
  }
  LRESULT result = 0;
  // Exceptions never cross into the system's code: they end where the application reports them.
  try {
    if (self->OnSubclassMessage(message, w, l, result)) return result;
  } catch (...) {
    ReportException(GetAncestor(hwnd, GA_ROOT));
    return 0;
  }
  return CallWindowProcW(self->m_ownProc, hwnd, message, w, l);
}
