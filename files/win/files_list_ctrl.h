#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "framework/controls.h"

class FileSet;

/// Rows for the entries of a set, in set order: name, folder, and the grouped size followed by
/// `unit`; redraw held off meanwhile, and the columns fitted to headings and contents. Returns the
/// entries' total size. Both lists of the main dialog are filled this way.
std::int64_t FillRows(const CListCtrl& list, FileSet& set, const char* unit);
/// Fits the columns of rows that FillRows filled again, as after a change of the list's font.
void FitRows(const CListCtrl& list, FileSet& set, const char* unit);

/// What the file list needs of the dialog it sits in.
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
class CFilesListCtrl : public CListCtrl {
 public:
  /// Rebuilds every row from the source set and fits the columns to header and contents.
  void Refill() const;
  /// The same as Refill after entries at these rows (ascending) left the source set, without
  /// rebuilding the rows that stay.
  void RemoveRows(const std::vector<int>& rows) const;
  /// The DPI its window is shown at, which the drop prompt is drawn for.
  void SetDpi(UINT dpi);

 protected:
  bool OnSubclassMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) override;

 private:
  void OnDropFiles(HDROP drop);
  /// The drop prompt, while the list is empty.
  bool OnPaint();

  UINT m_dpi = USER_DEFAULT_SCREEN_DPI;
};
