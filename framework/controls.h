#pragma once
// The controls the dialogs use, as typed wrappers over their messages.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/wnd.h"

class CListCtrl : public CWnd {
 public:
  int InsertColumn(int column, const std::string& heading, int format = LVCFMT_LEFT) const;
  /// Inserts a row with its first column's text (no image, no state, item data 0).
  int InsertItem(int row, const std::string& text) const;
  void SetItemText(int row, int column, const std::string& text) const;
  /// The whole text of a cell, at any length.
  std::string GetItemText(int row, int column) const;
  bool DeleteAllItems() const { return Send(LVM_DELETEALLITEMS) != 0; }
  int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
  int GetNextItem(int start, UINT flags) const { return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0))); }
  bool SetColumnWidth(int column, int width) const { return Send(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0; }
  int GetColumnWidth(int column) const { return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, column)); }
  /// Reserves room for a number of rows before a long insertion.
  void SetItemCountEx(int count) const { Send(LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL); }
  void SetRedraw(bool redraw) const { Send(WM_SETREDRAW, redraw ? TRUE : FALSE); }
  /// Sizes each column to fit its header and its contents (LVSCW_AUTOSIZE_USEHEADER), and never
  /// narrower than its heading needs: some list-view versions measure the heading short.
  void FitColumns(int columns) const;
};

class CEdit : public CWnd {};
class CStatic : public CWnd {};
