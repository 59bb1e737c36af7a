#include "files/win/files_list_ctrl.h"

#include "files/file_sets.h"
#include "files/size_text.h"
#include "framework/app.h"
#include "framework/dpi.h"
#include "framework/message_table.h"
#include "res/resource.h"

namespace {

// Walks the set with each row's three texts; the size text carries the unit.
template <typename Visit>
void ForEachRow(FileSet& set, const char* unit, Visit visit) {
  for (set.ResetCursor(true); const FileEntry* e = set.GetCurrent(); set.MoveNext())
    visit(*e, FormatNumber(e->size, true) + unit);
}

}  // namespace

void FitRows(const CListCtrl& list, FileSet& set, const char* unit) {
  ColumnCandidates widest(list, 3);
  ForEachRow(set, unit, [&](const FileEntry& e, const std::string& size) {
    widest.Add(0, e.name);
    widest.Add(1, e.folder);
    widest.Add(2, size);
  });
  list.FitColumns(widest);
}

std::int64_t FillRows(const CListCtrl& list, FileSet& set, const char* unit) {
  list.SetRedraw(false);
  list.DeleteAllItems();
  list.SetItemCountEx(set.GetCount());
  ColumnCandidates widest(list, 3);
  std::int64_t total = 0;
  int row = 0;
  ForEachRow(set, unit, [&](const FileEntry& e, const std::string& size) {
    list.InsertItem(row, e.name);
    list.SetItemText(row, 1, e.folder);
    list.SetItemText(row, 2, size);
    widest.Add(0, e.name);
    widest.Add(1, e.folder);
    widest.Add(2, size);
    total += e.size;
    ++row;
  });
  list.FitColumns(widest);
  list.SetRedraw(true);
  InvalidateRect(list, nullptr, TRUE);
  return total;
}

void CFilesListCtrl::Refill() const { FillRows(*this, g_sourceSet, "バイト"); }

void CFilesListCtrl::RemoveRows(const std::vector<int>& rows) const {
  if (GetItemCount() != g_sourceSet.GetCount() + static_cast<int>(rows.size()))
    return Refill();  // out of step: rebuild
  SetRedraw(false);
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) DeleteItem(*it);
  ResetSelection();
  FitRows(*this, g_sourceSet, "バイト");
  SetRedraw(true);
  InvalidateRect(m_hWnd, nullptr, TRUE);
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
  if (!dc || !GetClientRect(m_hWnd, &client)) {
    if (dc) EndPaint(m_hWnd, &ps);
    return true;
  }
  const auto px = [&](int pixels) { return Scaled(pixels, m_dpi); };
  const int w = client.right, h = client.bottom;
  const RECT outer = {px(16), px(32), w - px(16), h - px(16)};
  const RECT inner = {px(32), px(48), w - px(32), h - px(32)};
  // An edge as wide as one pixel at 96 DPI: as many one-pixel frames, each inside the last.
  const auto drawEdge = [&](const RECT& r, HPEN topLeft, HPEN bottomRight) {
    for (int i = 0; i < px(1); ++i)
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

  SetBkMode(dc, TRANSPARENT);
  HFONT font = CreateFontA(px(20), 0, 0, 0, 1000, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "MS UI GOTHIC");
  HGDIOBJ oldFont = SelectObject(dc, font);
  RECT text = inner;
  DrawTextA(dc, "この部分にファイルかフォルダをドロップしてください", -1, &text,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  EndPaint(m_hWnd, &ps);
  return true;
}
