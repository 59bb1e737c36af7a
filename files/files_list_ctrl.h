#pragma once

#include <windows.h>

#include <vector>

#include "framework/controls.h"

/// What the file list needs of the dialog it sits in.
class CFileListOwner {
 public:
  /// Writes the file count and total labels after the source set changed.
  virtual void RefreshFileLabels() = 0;

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

 protected:
  bool OnSubclassMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) override;

 private:
  void OnDropFiles(HDROP drop);
  void OnPaint();
  /// Fits the columns to the source set's texts.
  void FitToSourceSet() const;
};
