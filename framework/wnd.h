#pragma once
// Thin, non-owning wrappers over window handles, in the shape the dialogs expect of them.

#include <windows.h>

#include <cassert>
#include <string>

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) const {
    AssertWindow();
    return SendMessageA(m_hWnd, message, w, l);
  }
  HWND Item(int id) const {
    AssertWindow();
    return GetDlgItem(m_hWnd, id);
  }
  /// The whole text of the window, at any length.
  std::string GetText() const {
    AssertWindow();
    return WindowText(m_hWnd);
  }
  void SetText(const std::string& text) const {
    AssertWindow();
    SetWindowTextA(m_hWnd, text.c_str());
  }
  std::string GetItemText(int id) const { return WindowText(Item(id)); }
  void SetItemText(int id, const std::string& text) const {
    AssertWindow();
    SetDlgItemTextA(m_hWnd, id, text.c_str());
  }
  /// The icon of the caption (small) or of Alt+Tab (big).
  void SetIcon(HICON icon, bool big) const {
    Send(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }

  static std::string WindowText(HWND hwnd);

  /// Attaches to an existing window without taking it over (the dialog owns its controls).
  void Attach(HWND hwnd);
  /// Attaches and routes the window's messages through OnSubclassMessage first; what that
  /// does not handle goes on to the window's own procedure. Uses the window's GWLP_USERDATA.
  void SubclassWindow(HWND hwnd);
  void Detach();

 protected:
  /// Every wrapper that sends to its window checks first that it has one (in debug builds).
  void AssertWindow() const { assert(m_hWnd && IsWindow(m_hWnd)); }
  /// Messages of a subclassed window; true when handled, with the result.
  virtual bool OnSubclassMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
  /// The window's own handling of a message (for a subclassed window).
  LRESULT Default(UINT message, WPARAM w, LPARAM l) const;

  HWND m_hWnd = nullptr;

 private:
  static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM);
  WNDPROC m_ownProc = nullptr;  // the window's procedure before subclassing; null when not subclassed
};
