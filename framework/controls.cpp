#include "framework/controls.h"

#include <cstring>
#include <vector>

int CListCtrl::InsertColumn(int column, const std::string& heading, int format) const {
  LVCOLUMNA c = {};
  c.mask = LVCF_FMT | LVCF_TEXT;
  c.fmt = format;
  c.pszText = const_cast<char*>(heading.c_str());
  return static_cast<int>(Send(LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&c)));
}

int CListCtrl::InsertItem(int row, const std::string& text) const {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<char*>(text.c_str());
  return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void CListCtrl::SetItemText(int row, int column, const std::string& text) const {
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text.c_str());
  Send(LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
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
    if (got < static_cast<int>(buffer.size()) - 2 || buffer.size() >= (1u << 20)) return std::string(buffer.data(), got > 0 ? got : 0);
    buffer.resize(buffer.size() * 2);
  }
}

void CListCtrl::FitColumns(int columns) const {
  HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
  HDC dc = header ? GetDC(header) : nullptr;
  HGDIOBJ oldFont = dc ? SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(header, WM_GETFONT, 0, 0))) : nullptr;
  for (int c = 0; c < columns; ++c) {
    SetColumnWidth(c, LVSCW_AUTOSIZE_USEHEADER);
    if (!dc) continue;
    char text[128] = "";
    HDITEMA item = {};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(header, HDM_GETITEMA, c, reinterpret_cast<LPARAM>(&item));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
    const int needed = extent.cx + 4 * GetSystemMetrics(SM_CXEDGE) + 8;  // the header's text margins
    if (GetColumnWidth(c) < needed) SetColumnWidth(c, needed);
  }
  if (dc) {
    SelectObject(dc, oldFont);
    ReleaseDC(header, dc);
  }
}
