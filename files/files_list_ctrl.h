#pragma once

#include <windows.h>

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

 protected:
  bool OnSubclassMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) override;

 private:
  void OnDropFiles(HDROP drop);
  void OnPaint();
};
