#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "files/file_sets.h"
#include "framework/controls.h"

class FileSet;
struct FileEntry;

/// A list of a file set's entries, one row each in set order: name, folder, and the grouped size
/// followed by a unit. The list-view is a virtual one (LVS_OWNERDATA): it holds no texts and asks
/// for the cells it shows (LVN_GETDISPINFO) and for the row that a typed name begins
/// (LVN_ODFINDITEM), which its parent hands on to OnParentNotify. Showing a set therefore costs
/// the same for any number of rows, whether one file was added or twenty thousand.
class CFileRowsList : public CListCtrl {
 public:
  explicit CFileRowsList(const char* unit) : m_unit(unit) {}

  /// Shows the set's entries (no row selected or focused, the first one in view) and fits the
  /// columns to headings and contents, the last one filling the list. Returns the total size.
  /// The rows point into the set: it is shown again after every change, before any message.
  std::int64_t ShowRows(FileSet& set);
  /// Removes every row and forgets the set, keeping the columns' widths.
  void ClearRows();
  /// Fits the columns again for the rows shown, as after a change of the list's font.
  void FitRows() const;
  /// The entry a row shows, or null.
  const FileEntry* EntryAt(int row) const;
  /// Answers LVN_GETDISPINFO and LVN_ODFINDITEM from this list; false for anything else.
  bool OnParentNotify(const NMHDR& header, LRESULT& result) const;

 private:
  /// The text of a cell, with the unit after a size.
  std::string CellText(const FileEntry& e, int column) const;
  /// The first row from `start` (wrapping round to it when asked) whose name begins with
  /// `prefix`, in any case; -1 when there is none.
  int FindRowByName(const std::string& prefix, int start, bool wrap) const;

  const char* m_unit;
  std::vector<const FileEntry*> m_rows;
};

/// What the file list and the drag-out target need of the dialog they sit in.
class CFileListOwner {
 public:
  /// Writes the file count and total labels after the source set changed.
  virtual void RefreshFileLabels() = 0;
  /// True while a computation runs: the file sets belong to it, and drops are refused.
  virtual bool Computing() const = 0;

 protected:
  ~CFileListOwner() = default;
};

/// The file list: shows the source set, takes dropped files and folders, and asks for them
/// with a drawn prompt while it is empty.
class CFilesListCtrl : public CFileRowsList {
 public:
  CFilesListCtrl() : CFileRowsList("バイト") {}
  /// Shows the source set as it is now and fits the columns to header and contents.
  void Refill() { ShowRows(g_sourceSet); }
  /// The DPI its window is shown at, which the drop prompt is drawn for.
  void SetDpi(UINT dpi);

 protected:
  bool OnSubclassMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) override;

 private:
  void OnDropFiles(HDROP drop);
  /// The drop prompt, while the list is empty.
  bool OnPaint();
  /// The prompt's raised outer panel and sunken, patterned inner panel.
  void DrawPanels(HDC dc, const RECT& outer, const RECT& inner) const;
  /// The request to drop files, centred in the inner panel.
  void DrawRequest(HDC dc, const RECT& inner) const;

  UINT m_dpi = USER_DEFAULT_SCREEN_DPI;
};
