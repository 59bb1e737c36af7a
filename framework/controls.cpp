#include "framework/controls.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/dpi.h"

int CListCtrl::InsertColumn(int column, const std::string& heading, int format) const {
  LVCOLUMNA c = {};
  c.mask = LVCF_FMT | LVCF_TEXT;
  c.fmt = format;
  c.pszText = const_cast<char*>(heading.c_str());
  return static_cast<int>(Send(LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&c)));
}

namespace {

// The list-view keeps its texts in UTF-16: handing them over converted saves it a conversion and
// an allocation per message, which adds up over thousands of rows.
const wchar_t* Wide(const std::string& text) {
  static thread_local std::wstring buffer;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  buffer.resize(static_cast<std::size_t>(n));
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer.data(), n);
  return buffer.c_str();
}

}  // namespace

int CListCtrl::InsertItem(int row, const std::string& text) const {
  AssertWindow();
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<wchar_t*>(Wide(text));
  return static_cast<int>(SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CListCtrl::SetItemText(int row, int column, const std::string& text) const {
  AssertWindow();
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(Wide(text));
  SendMessageW(m_hWnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::string CListCtrl::GetItemText(int row, int column) const {
  // The control copies at most the buffer less one byte and tells how much it copied: a full
  // buffer may mean a longer text, so ask again with more room.
  std::vector<char> buffer(256);
  for (;;) {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const int got = static_cast<int>(Send(LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
    if (got < static_cast<int>(buffer.size()) - 2 || buffer.size() >= (1u << 20))
      return std::string(buffer.data(), got > 0 ? got : 0);
    buffer.resize(buffer.size() * 2);
  }
}

// Row by row, only the rows that are selected or focused: setting the state of all rows at once
// (index -1) visits, and notifies the parent of, every row of a long list.
void CListCtrl::ResetSelection() const {
  LVITEMA none = {};
  none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  for (int row = GetNextItem(-1, LVNI_SELECTED); row != -1; row = GetNextItem(row, LVNI_SELECTED)) {
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&none));
  }
  const int focused = GetNextItem(-1, LVNI_FOCUSED);
  if (focused != -1) Send(LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&none));
  Send(LVM_SETSELECTIONMARK, 0, -1);
  if (GetItemCount() > 0) Send(LVM_ENSUREVISIBLE, 0, FALSE);
}

namespace {

// Texts this close to the widest stay candidates, in case a sum of advances is off by a pixel.
constexpr int kWidthMargin = 3;
constexpr std::size_t kMostCandidates = 16;

std::string HeadingOf(HWND header, int column) {
  char text[128] = "";
  HDITEMA item = {};
  item.mask = HDI_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
  return text;
}

}  // namespace

ColumnCandidates::ColumnCandidates(HWND list, int columns)
    : m_list(list), m_dc(GetDC(list)), m_widest(columns, -1), m_best(columns), m_bestWidths(columns) {
  // Without a device context every text measures 0 wide and all stay candidates up to the
  // limit; the list-view's own measuring still sizes the columns.
  m_oldFont = m_dc ? SelectObject(m_dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0))) : nullptr;
  for (int& w : m_single) w = -1;
}

ColumnCandidates::~ColumnCandidates() {
  if (!m_dc) return;
  SelectObject(m_dc, m_oldFont);
  ReleaseDC(m_list, m_dc);
}

int ColumnCandidates::Width(const std::string& text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (IsDBCSLeadByte(b) && i + 1 < text.size()) {
      const unsigned key = (b << 8) | static_cast<unsigned char>(text[i + 1]);
      auto it = m_double.find(key);
      if (it == m_double.end()) {
        SIZE s = {};
        GetTextExtentPoint32A(m_dc, text.c_str() + i, 2, &s);
        it = m_double.emplace(key, static_cast<int>(s.cx)).first;
      }
      width += it->second;
      ++i;
    } else {
      if (m_single[b] < 0) {
        SIZE s = {};
        const char c = static_cast<char>(b);
        GetTextExtentPoint32A(m_dc, &c, 1, &s);
        m_single[b] = s.cx;
      }
      width += m_single[b];
    }
  }
  return width;
}

// Keeps the texts within the margin of the widest, at most kMostCandidates of them; when there
// are more, the narrowest gives way, so a text wider than every candidate is always measured.
void ColumnCandidates::Add(int column, const std::string& text) {
  const int width = Width(text);
  int& widest = m_widest[column];
  if (width < widest - kWidthMargin) return;
  std::vector<std::string>& best = m_best[column];
  std::vector<int>& widths = m_bestWidths[column];
  if (width > widest) {
    widest = width;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < best.size(); ++i) {
      if (widths[i] < widest - kWidthMargin) continue;
      best[kept] = std::move(best[i]);
      widths[kept++] = widths[i];
    }
    best.resize(kept);
    widths.resize(kept);
  }
  if (best.size() < kMostCandidates) {
    best.push_back(text);
    widths.push_back(width);
    return;
  }
  const std::size_t narrowest =
      static_cast<std::size_t>(std::min_element(widths.begin(), widths.end()) - widths.begin());
  if (width <= widths[narrowest]) return;
  best[narrowest] = text;
  widths[narrowest] = width;
}

HWND CListCtrl::Twin() const {
  if (m_twin && IsWindow(m_twin) && GetParent(m_twin) == GetParent(m_hWnd)) {
    // The list's font changes with the DPI of its monitor: the twin measures with the one in use.
    const WPARAM font = Send(WM_GETFONT);
    if (SendMessageA(m_twin, WM_GETFONT, 0, 0) != static_cast<LRESULT>(font))
      SendMessageA(m_twin, WM_SETFONT, font, FALSE);
    return m_twin;
  }
  // The same kind of list with the same font and headings, never shown, holding its texts itself.
  // One more, empty column at its end: sized to fit header and contents, no column of the list is
  // the twin's last, which the list-view would stretch to the twin's width instead.
  const DWORD style =
      static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE)) & ~(WS_VISIBLE | WS_TABSTOP | LVS_OWNERDATA);
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)) & ~WS_EX_ACCEPTFILES;
  m_twin = CreateWindowExA(exStyle, WC_LISTVIEWA, "", style, 0, 0, 100, 100, GetParent(m_hWnd), nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  if (!m_twin) return nullptr;
  SendMessageA(m_twin, WM_SETFONT, Send(WM_GETFONT), FALSE);
  HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
  const int columns = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
  for (int c = 0; c <= columns; ++c) {
    std::string heading = c < columns ? HeadingOf(header, c) : std::string();
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.pszText = heading.data();
    SendMessageA(m_twin, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
  }
  return m_twin;
}

int CListCtrl::ClientWidth() const {
  RECT client = {};
  GetClientRect(m_hWnd, &client);
  return client.right;
}

std::vector<int> CListCtrl::MeasureInTwin(const ColumnCandidates& candidates) const {
  const int columns = candidates.Columns();
  std::vector<int> widths(static_cast<std::size_t>(columns), 0);
  HWND twin = Twin();
  if (!twin) return widths;
  std::size_t rows = 0;
  for (int c = 0; c < columns; ++c) rows = std::max(rows, candidates.Texts(c).size());
  for (std::size_t r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      std::string text = r < candidates.Texts(c).size() ? candidates.Texts(c)[r] : std::string();
      LVITEMA item = {};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(r);
      item.iSubItem = c;
      item.pszText = text.data();
      SendMessageA(twin, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, r, reinterpret_cast<LPARAM>(&item));
    }
  }
  for (int c = 0; c < columns; ++c) {
    SendMessageA(twin, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
    widths[c] = static_cast<int>(SendMessageA(twin, LVM_GETCOLUMNWIDTH, c, 0));
  }
  SendMessageA(twin, LVM_DELETEALLITEMS, 0, 0);
  return widths;
}

void CListCtrl::WidenToHeadings(std::vector<int>& widths) const {
  HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
  HDC dc = header ? GetDC(header) : nullptr;
  if (!dc) return;
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(header, WM_GETFONT, 0, 0)));
  const UINT dpi = DpiOf(m_hWnd);
  for (std::size_t c = 0; c < widths.size(); ++c) {
    const std::string heading = HeadingOf(header, static_cast<int>(c));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, heading.c_str(), static_cast<int>(heading.size()), &extent);
    // The header's text margins.
    widths[c] = std::max(widths[c], static_cast<int>(extent.cx) + 4 * MetricForDpi(SM_CXEDGE, dpi) + Scaled(8, dpi));
  }
  SelectObject(dc, oldFont);
  ReleaseDC(header, dc);
}

void CListCtrl::FitColumns(const ColumnCandidates& candidates) const {
  std::vector<int> widths = MeasureInTwin(candidates);
  if (widths.empty()) return;
  WidenToHeadings(widths);
  for (std::size_t c = 0; c + 1 < widths.size(); ++c) SetColumnWidth(static_cast<int>(c), widths[c]);
  m_lastColumnFit = widths.back();
  SetColumnWidth(static_cast<int>(widths.size()) - 1, m_lastColumnFit);
  FillLastColumn();
}

// The last column fills what the others leave of the client area. That width depends on the
// vertical scroll bar, which depends on the horizontal one and so on the columns: the list
// settles within a few rounds.
void CListCtrl::FillLastColumn() const {
  HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
  const int last = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) - 1;
  if (last < 0) return;
  int others = 0;
  for (int c = 0; c < last; ++c) others += static_cast<int>(Send(LVM_GETCOLUMNWIDTH, c));
  int width = static_cast<int>(Send(LVM_GETCOLUMNWIDTH, last));
  for (int round = 0; round < 4; ++round) {
    const int fill = std::max(m_lastColumnFit, ClientWidth() - others);
    if (fill == width) break;
    width = fill;
    SetColumnWidth(last, width);
  }
}
