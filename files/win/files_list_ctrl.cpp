#include "files/win/files_list_ctrl.h"

#include <algorithm>
#include <cstring>

#include "files/file_sets.h"
#include "files/size_text.h"
#include "framework/app.h"
#include "framework/dpi.h"
#include "framework/message_table.h"
#include "res/resource.h"

std::int64_t CFileRowsList::ShowRows(FileSet& set) {
  std::int64_t total = 0;
  m_rows.clear();
  m_rows.reserve(static_cast<std::size_t>(set.GetCount()));
  for (set.ResetCursor(true); const FileEntry* e = set.GetCurrent(); set.MoveNext()) {
    m_rows.push_back(e);
    total += e->size;
  }
  SetRedraw(false);
  DeleteAllItems();  // no row selected or focused, and the list scrolled to its top
  SetItemCountEx(static_cast<int>(m_rows.size()));
  FitRows();
  // The scroll bars follow the new rows only while the list redraws: the last column fills the
  // room they leave once it does.
  SetRedraw(true);
  FillLastColumn();
  InvalidateRect(m_hWnd, nullptr, TRUE);
  return total;
}

void CFileRowsList::ClearRows() {
  m_rows.clear();
  DeleteAllItems();
}

std::string CFileRowsList::CellText(const FileEntry& e, int column) const {
  switch (column) {
    case 0:
      return e.name;
    case 1:
      return e.folder;
    default:
      return FormatNumber(e.size, true) + m_unit;
  }
}

void CFileRowsList::FitRows() const {
  ColumnCandidates widest(*this, 3);
  for (const FileEntry* e : m_rows) {
    for (int c = 0; c < 3; ++c) widest.Add(c, CellText(*e, c));
  }
  FitColumns(widest);
}

const FileEntry* CFileRowsList::EntryAt(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < m_rows.size() ? m_rows[static_cast<std::size_t>(row)] : nullptr;
}

int CFileRowsList::FindRowByName(const std::string& prefix, int start, bool wrap) const {
  const int count = static_cast<int>(m_rows.size());
  if (prefix.empty() || count == 0) return -1;
  if (start < 0 || start >= count) start = 0;
  for (int i = 0; i < (wrap ? count : count - start); ++i) {
    const int row = (start + i) % count;
    const std::string& name = m_rows[static_cast<std::size_t>(row)]->name;
    if (name.size() >= prefix.size() &&
        CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(), static_cast<int>(prefix.size()),
                       prefix.data(), static_cast<int>(prefix.size())) == CSTR_EQUAL)
      return row;
  }
  return -1;
}

namespace {

// Copies as much of the text as fits, with its terminating zero, never half a double-byte character.
void CopyCellText(const std::string& text, char* to, int room) {
  if (!to || room <= 0) return;
  std::size_t n = 0;
  while (n < text.size()) {
    const std::size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[n])) && n + 1 < text.size() ? 2 : 1;
    if (n + step + 1 > static_cast<std::size_t>(room)) break;
    n += step;
  }
  std::memcpy(to, text.data(), n);
  to[n] = '\0';
}

void CopyCellText(const std::string& text, wchar_t* to, int room) {
  if (!to || room <= 0) return;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  const std::size_t copied = std::min(wide.size(), static_cast<std::size_t>(room - 1));
  std::memcpy(to, wide.data(), copied * sizeof(wchar_t));
  to[copied] = L'\0';
}

std::string Narrow(const wchar_t* text) {
  if (!text) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(std::strlen(narrow.c_str()));
  return narrow;
}

}  // namespace

// The list asks in the parent's character set (ANSI for our dialogs); Wine asks for a typed name's
// row in UTF-16 whatever the parent's, so both forms are answered.
bool CFileRowsList::OnParentNotify(const NMHDR& header, LRESULT& result) const {
  if (header.hwndFrom != m_hWnd) return false;
  switch (header.code) {
    case LVN_GETDISPINFOA:
    case LVN_GETDISPINFOW: {
      // Both forms share their layout up to the text pointer's type.
      auto& item = const_cast<NMLVDISPINFOA&>(reinterpret_cast<const NMLVDISPINFOA&>(header)).item;
      const FileEntry* e = EntryAt(item.iItem);
      if (!e || !(item.mask & LVIF_TEXT)) return true;
      const std::string text = CellText(*e, item.iSubItem);
      if (header.code == LVN_GETDISPINFOA) CopyCellText(text, item.pszText, item.cchTextMax);
      else CopyCellText(text, reinterpret_cast<wchar_t*>(item.pszText), item.cchTextMax);
      return true;
    }
    case LVN_ODFINDITEMA:
    case LVN_ODFINDITEMW: {
      const auto& find = reinterpret_cast<const NMLVFINDITEMA&>(header);
      result = -1;
      if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL))) return true;
      const std::string prefix = header.code == LVN_ODFINDITEMA
                                     ? std::string(find.lvfi.psz ? find.lvfi.psz : "")
                                     : Narrow(reinterpret_cast<const wchar_t*>(find.lvfi.psz));
      result = FindRowByName(prefix, find.iStart, (find.lvfi.flags & LVFI_WRAP) != 0);
      return true;
    }
    default:
      return false;
  }
}

void CFilesListCtrl::SetDpi(UINT dpi) {
  if (dpi == m_dpi) return;
  m_dpi = dpi;
  if (m_hWnd && g_sourceSet.GetCount() == 0) InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CFilesListCtrl::OnSubclassMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
  static constexpr MessageEntry<CFilesListCtrl> kTable[] = {
      WmDropFiles<&CFilesListCtrl::OnDropFiles>(),
      WmPaint<&CFilesListCtrl::OnPaint>(),
  };
  return DispatchTable(*this, kTable, message, w, l, result);
}

namespace {

// A one-pixel frame: the top and left edges in one colour, the bottom and right in the other.
void DrawEdgeLines(HDC dc, const RECT& r, HPEN topLeft, HPEN bottomRight) {
  SelectObject(dc, topLeft);
  MoveToEx(dc, r.right - 1, r.top, nullptr);
  LineTo(dc, r.left, r.top);
  LineTo(dc, r.left, r.bottom - 1);
  SelectObject(dc, bottomRight);
  LineTo(dc, r.right - 1, r.bottom - 1);
  LineTo(dc, r.right - 1, r.top);
}

}  // namespace

// The drop prompt: a raised panel below the column headers, a sunken panel inside it filled
// with the dotted pattern, and the request to drop files centred in the inner panel. Every length
// is laid out for 96 DPI and scaled, the edges included; the pattern is drawn for the DPI.
bool CFilesListCtrl::OnPaint() {
  if (g_sourceSet.GetCount() > 0) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  RECT client;
  if (dc && GetClientRect(m_hWnd, &client)) {
    const auto px = [&](int pixels) { return Scaled(pixels, m_dpi); };
    const RECT inner = {px(32), px(48), client.right - px(32), client.bottom - px(32)};
    DrawPanels(dc, {px(16), px(32), client.right - px(16), client.bottom - px(16)}, inner);
    DrawRequest(dc, inner);
  }
  if (dc) EndPaint(m_hWnd, &ps);
  return true;
}

void CFilesListCtrl::DrawPanels(HDC dc, const RECT& outer, const RECT& inner) const {
  // An edge as wide as one pixel at 96 DPI: as many one-pixel frames, each inside the last.
  const auto drawEdge = [&](const RECT& r, HPEN topLeft, HPEN bottomRight) {
    for (int i = 0; i < Scaled(1, m_dpi); ++i)
      DrawEdgeLines(dc, {r.left + i, r.top + i, r.right - i, r.bottom - i}, topLeft, bottomRight);
  };
  HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  HPEN highlight = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  const int tileId = PictureForDpi(m_dpi, IDB_DROP_PATTERN, IDB_DROP_PATTERN_150, IDB_DROP_PATTERN_200);
  HBITMAP tile = LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(tileId));
  HBRUSH pattern = tile ? CreatePatternBrush(tile) : nullptr;

  HGDIOBJ oldBrush = SelectObject(dc, face);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  Rectangle(dc, outer.left, outer.top, outer.right, outer.bottom);
  drawEdge(outer, highlight, shadow);
  if (pattern) SelectObject(dc, pattern);
  Rectangle(dc, inner.left, inner.top, inner.right, inner.bottom);  // outlined with the shadow pen still selected
  drawEdge(inner, shadow, highlight);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(face);
  if (pattern) DeleteObject(pattern);
  if (tile) DeleteObject(tile);
  DeleteObject(highlight);
  DeleteObject(shadow);
}

void CFilesListCtrl::DrawRequest(HDC dc, const RECT& inner) const {
  SetBkMode(dc, TRANSPARENT);
  HFONT font = CreateFontA(Scaled(20, m_dpi), 0, 0, 0, 1000, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "MS UI GOTHIC");
  HGDIOBJ oldFont = SelectObject(dc, font);
  RECT text = inner;
  DrawTextA(dc, "この部分にファイルかフォルダをドロップしてください", -1, &text,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
  DeleteObject(font);
}
