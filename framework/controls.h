#pragma once
// The controls the dialogs use, as typed wrappers over their messages.

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "framework/wnd.h"

/// The texts of each column that may be the widest in a list's font, found cheaply: a text's
/// width is the sum of its characters' advance widths, and each character is measured once.
class ColumnCandidates {
 public:
  ColumnCandidates(HWND list, int columns);
  ~ColumnCandidates();
  ColumnCandidates(const ColumnCandidates&) = delete;
  ColumnCandidates& operator=(const ColumnCandidates&) = delete;

  void Add(int column, const std::string& text);
  int Columns() const { return static_cast<int>(m_best.size()); }
  const std::vector<std::string>& Texts(int column) const { return m_best[column]; }

 private:
  int Width(const std::string& text);

  HWND m_list;
  HDC m_dc;
  HGDIOBJ m_oldFont;
  int m_single[256];
  std::unordered_map<unsigned, int> m_double;
  std::vector<int> m_widest;
  std::vector<std::vector<std::string>> m_best;
  std::vector<std::vector<int>> m_bestWidths;  ///< the estimated width of each candidate
};

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
  int GetNextItem(int start, UINT flags) const {
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
  }
  bool SetColumnWidth(int column, int width) const {
    return Send(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != 0;
  }
  /// Reserves room for a number of rows before a long insertion.
  void SetItemCountEx(int count) const { Send(LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL); }
  void SetRedraw(bool redraw) const { Send(WM_SETREDRAW, redraw ? TRUE : FALSE); }
  void DeleteItem(int row) const { Send(LVM_DELETEITEM, static_cast<WPARAM>(row)); }
  /// No row selected or focused, and the first row in view: how a list looks after a refill.
  void ResetSelection() const;
  /// Sizes each column to fit its header and its contents as LVSCW_AUTOSIZE_USEHEADER does, for
  /// contents whose widest texts are the candidates: the list-view measures just those, in a
  /// hidden twin of this list, instead of every row. Never narrower than the heading needs
  /// (some list-view versions measure headings short). The last column also fills the rest of
  /// the client area as this list has it, with or without its scroll bars, so the columns add up
  /// to its width whenever their contents fit; while the list does not redraw (WM_SETREDRAW) its
  /// scroll bars do not follow its rows, and FillLastColumn is due once it does again.
  void FitColumns(const ColumnCandidates& candidates) const;
  /// The last column as wide as its contents need or as the room the others leave, whichever is
  /// wider: after the list's width changed.
  void FillLastColumn() const;

 private:
  HWND Twin() const;
  /// Each column's width to fit its header and the candidates, as the twin's list-view sizes it.
  std::vector<int> MeasureInTwin(const ColumnCandidates& candidates) const;
  /// No narrower than the headings need in the header's font.
  void WidenToHeadings(std::vector<int>& widths) const;
  int ClientWidth() const;
  mutable HWND m_twin = nullptr;
  mutable int m_lastColumnFit = 0;  ///< what the last column's header and contents need
};

class CEdit : public CWnd {};
class CStatic : public CWnd {};
