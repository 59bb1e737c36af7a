#include "files/files_list_ctrl.h"

#include "files/file_sets.h"
#include "files/size_text.h"
#include "framework/app.h"
#include "res/resource.h"

void CFilesListCtrl::Refill() const {
  SetRedraw(false);
  DeleteAllItems();
  SetItemCountEx(g_sourceSet.GetCount());
  int row = 0;
  for (g_sourceSet.ResetCursor(true); const FileEntry* e = g_sourceSet.GetCurrent(); g_sourceSet.MoveNext(), ++row) {
    InsertItem(row, e->name);
    SetItemText(row, 1, e->folder);
    SetItemText(row, 2, FormatNumber(e->size, true) + "バイト");
  }
  FitColumns(3);
  SetRedraw(true);
  InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CFilesListCtrl::OnSubclassMessage(UINT message, WPARAM w, LPARAM, LRESULT& result) {
  switch (message) {
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(w));
      result = 0;
      return true;
    case WM_PAINT:
      if (g_sourceSet.GetCount() > 0) return false;
      OnPaint();
      result = 0;
      return true;
    default:
      return false;
  }
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
// with the dotted pattern, and the request to drop files centred in the inner panel.
void CFilesListCtrl::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  RECT client;
  GetClientRect(m_hWnd, &client);
  const int w = client.right, h = client.bottom;
  const RECT outer = {16, 32, w - 16, h - 16};
  const RECT inner = {32, 48, w - 32, h - 32};

  HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  HPEN highlight = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  HBITMAP tile = LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDB_DROP_PATTERN));
  HBRUSH pattern = tile ? CreatePatternBrush(tile) : nullptr;

  HGDIOBJ oldBrush = SelectObject(dc, face);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  Rectangle(dc, outer.left, outer.top, outer.right, outer.bottom);
  DrawEdgeLines(dc, outer, highlight, shadow);
  if (pattern) SelectObject(dc, pattern);
  Rectangle(dc, inner.left, inner.top, inner.right, inner.bottom);  // outlined with the shadow pen still selected
  DrawEdgeLines(dc, inner, shadow, highlight);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(face);
  if (pattern) DeleteObject(pattern);
  if (tile) DeleteObject(tile);
  DeleteObject(highlight);
  DeleteObject(shadow);

  SetBkMode(dc, TRANSPARENT);
  HFONT font = CreateFontA(20, 0, 0, 0, 1000, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH, "MS UI GOTHIC");
  HGDIOBJ oldFont = SelectObject(dc, font);
  RECT text = inner;
  DrawTextA(dc, "この部分にファイルかフォルダをドロップしてください", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  EndPaint(m_hWnd, &ps);
}
