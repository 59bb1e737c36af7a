#include "framework/dialog.h"

#include <cstring>
#include <vector>

#include "framework/app.h"
#include "framework/dpi.h"

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

namespace {

// A DIALOGEX template as the dialog manager reads it: its client size and its controls' places
// in dialog units, and the font that gives the units their size.
struct TemplateLayout {
  struct Item {
    WORD id;
    short x, y, cx, cy;
  };
  short cx = 0, cy = 0;
  WORD pointSize = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::wstring face;
  std::vector<Item> items;
};

class TemplateReader {
 public:
  TemplateReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}
  bool Ok() const { return m_at <= m_size; }
  /// The next value; 0 past the end.
  template <typename T>
  T Read() {
    T value{};
    if (m_at + sizeof(T) <= m_size) std::memcpy(&value, m_data + m_at, sizeof(T));
    m_at += sizeof(T);
    return value;
  }
  /// A name or a number: 0 for none, 0xFFFF and a number, or a string ended by 0.
  std::wstring NameOrNumber() {
    std::wstring name;
    const WORD first = Read<WORD>();
    if (first == 0xFFFF) {
      Read<WORD>();
      return name;
    }
    for (WORD c = first; c && Ok(); c = Read<WORD>()) name += static_cast<wchar_t>(c);
    return name;
  }
  void Skip(std::size_t bytes) { m_at += bytes; }
  void AlignToDword() { m_at += (4 - m_at % 4) % 4; }

 private:
  const BYTE* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

bool ReadTemplateLayout(UINT templateId, TemplateLayout& layout) {
  HINSTANCE module = AfxGetResourceHandle();
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), RT_DIALOG);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  if (!data) return false;
  TemplateReader in(data, SizeofResource(module, found));
  if (in.Read<WORD>() != 1 || in.Read<WORD>() != 0xFFFF) return false;  // DIALOGEX only
  in.Skip(2 * sizeof(DWORD));                                           // help id, extended style
  const DWORD style = in.Read<DWORD>();
  const WORD count = in.Read<WORD>();
  in.Skip(2 * sizeof(short));  // the dialog's place
  layout.cx = in.Read<short>();
  layout.cy = in.Read<short>();
  in.NameOrNumber();  // menu
  in.NameOrNumber();  // class
  in.NameOrNumber();  // caption
  if (!(style & DS_SETFONT)) return false;
  layout.pointSize = in.Read<WORD>();
  layout.weight = in.Read<WORD>();
  layout.italic = in.Read<BYTE>();
  layout.charset = in.Read<BYTE>();
  layout.face = in.NameOrNumber();
  for (WORD i = 0; i < count && in.Ok(); ++i) {
    in.AlignToDword();
    in.Skip(3 * sizeof(DWORD));  // help id, extended style, style
    TemplateLayout::Item item;
    item.x = in.Read<short>();
    item.y = in.Read<short>();
    item.cx = in.Read<short>();
    item.cy = in.Read<short>();
    item.id = static_cast<WORD>(in.Read<DWORD>());
    in.NameOrNumber();         // class
    in.NameOrNumber();         // text
    in.Skip(in.Read<WORD>());  // creation data
    layout.items.push_back(item);
  }
  return in.Ok();
}

// The template font's dialog base units at 96 DPI, measured as the dialog manager measures them:
// the average width of the 52 Latin letters, rounded, and the font's height.
bool BaseUnitsAt96(const TemplateLayout& layout, SIZE& units) {
  HFONT font = CreateFontW(-MulDiv(layout.pointSize, USER_DEFAULT_SCREEN_DPI, 72), 0, 0, 0, layout.weight,
                           layout.italic, FALSE, FALSE, layout.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, layout.face.c_str());
  HDC dc = GetDC(nullptr);
  bool ok = font && dc;
  if (ok) {
    HGDIOBJ old = SelectObject(dc, font);
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent = {};
    TEXTMETRICW metrics = {};
    ok = GetTextExtentPoint32W(dc, kLetters, 52, &extent) && GetTextMetricsW(dc, &metrics);
    units = {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
    SelectObject(dc, old);
  }
  if (dc) ReleaseDC(nullptr, dc);
  if (font) DeleteObject(font);
  return ok && units.cx > 0 && units.cy > 0;
}

}  // namespace

bool CDialog::PlaceAsAt96(UINT dpi) {
  TemplateLayout layout;
  SIZE units;
  if (!m_hWnd || !ReadTemplateLayout(m_templateId, layout) || !BaseUnitsAt96(layout, units)) return false;
  const auto x = [&](int dialogUnits) { return Scaled(MulDiv(dialogUnits, units.cx, 4), dpi); };
  const auto y = [&](int dialogUnits) { return Scaled(MulDiv(dialogUnits, units.cy, 8), dpi); };
  // The controls, in template order; several may share an id (the statics without one).
  std::vector<bool> placed(layout.items.size());
  for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const WORD id = static_cast<WORD>(GetDlgCtrlID(child));
    std::size_t i = 0;
    while (i < layout.items.size() && (placed[i] || layout.items[i].id != id)) ++i;
    if (i == layout.items.size()) continue;  // not the template's
    placed[i] = true;
    const TemplateLayout::Item& item = layout.items[i];
    char className[16] = "";
    GetClassNameA(child, className, sizeof className);
    const LONG_PTR type = GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK;
    const bool picture = lstrcmpiA(className, "Static") == 0 && (type == SS_BITMAP || type == SS_ICON);
    SetWindowPos(child, nullptr, x(item.x), y(item.y), x(item.cx), y(item.cy),
                 SWP_NOZORDER | SWP_NOACTIVATE | (picture ? SWP_NOSIZE : 0));
  }
  RECT window, client;
  if (!GetWindowRect(m_hWnd, &window) || !GetClientRect(m_hWnd, &client)) return false;
  SetWindowPos(m_hWnd, nullptr, 0, 0, (window.right - window.left) - client.right + x(layout.cx),
               (window.bottom - window.top) - client.bottom + y(layout.cy), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}
