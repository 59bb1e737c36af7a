#include "framework/wnd.h"

#include <commctrl.h>

#include <vector>

#include "framework/app.h"

std::string CWnd::WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  const int got = GetWindowTextA(hwnd, buffer.data(), length + 1);
  return std::string(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

namespace {
constexpr UINT_PTR kSubclassId = 0x5A4D;  // "ZM"
}

CWnd::~CWnd() { Detach(); }

void CWnd::Attach(HWND hwnd) {
  Detach();
  m_hWnd = hwnd;
}

void CWnd::SubclassWindow(HWND hwnd) {
  Attach(hwnd);
  if (hwnd) m_subclassed = SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

void CWnd::Detach() {
  if (m_subclassed && m_hWnd && IsWindow(m_hWnd)) RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
  m_subclassed = false;
  m_hWnd = nullptr;
}

LRESULT CWnd::Default(UINT message, WPARAM w, LPARAM l) const { return DefSubclassProc(m_hWnd, message, w, l); }

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<CWnd*>(data);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
    self->m_subclassed = false;
    self->m_hWnd = nullptr;
    return DefSubclassProc(hwnd, message, w, l);
  }
  LRESULT result = 0;
  // Exceptions never cross into the system's code: they end where the application reports them.
  try {
    if (self->OnSubclassMessage(message, w, l, result)) return result;
  } catch (...) {
    ReportException(GetAncestor(hwnd, GA_ROOT));
    return 0;
  }
  return DefSubclassProc(hwnd, message, w, l);
}
