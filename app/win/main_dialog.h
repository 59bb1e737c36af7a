#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/settings.h"
#include "files/file_entry.h"
#include "files/file_set.h"
#include "files/win/files_list_ctrl.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "handoff/win/static_target.h"
#include "search/win/cancel_dialog.h"

/// The program's one window: the file list, the capacity and its presets, GO, the result list
/// and the drag-out target.
class CMainDialog : public CDialog, public CFileListOwner {
 public:
  explicit CMainDialog(HWND parent = nullptr);
  /// Stops a computation that still runs and waits for its worker, then writes medias.ini,
  /// before anything else is torn down.
  ~CMainDialog() override;

  void ShowResultPanel(bool show);
  /// Refills the result list from the result set, writes its total and shows or hides the panel.
  void RefreshResultPanel();
  /// Writes the file count and total size of the file list.
  void RefreshFileLabels() override;
  /// Enabled exactly when no computation runs.
  void EnableWhenIdle();
  bool Computing() const override { return m_candidates != nullptr; }

  const std::string& Setting(int index) const { return m_settings[index]; }

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange() override;
  BOOL OnCommand(UINT id, UINT code) override;
  bool OnMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) override;

 private:
  bool OnSysCommand(UINT command);
  bool OnPaint();
  HICON OnQueryDragIcon() { return m_hIcon; }
  void OnGetMinMaxInfo(MINMAXINFO& info);
  void OnSize(UINT type, SIZE client);
  void OnDeleteAll();
  void OnDeleteSelected();
  void OnPreset(int setting);
  void OnPresetCd650() { OnPreset(kCd650Setting); }
  void OnPresetCd700() { OnPreset(kCd700Setting); }
  void OnPresetDvd() { OnPreset(kDvdSetting); }
  void OnExit();
  void OnPreviousValue();
  void OnCompute();
  void OnCapacityChange();
  void OnMoveToFiles();
  void OnMoveToResults();
  void OnManual();
  /// The end of a computation, whether it ran out or was stopped.
  void OnSearchDone();
  void AbandonComputation();
  /// Asks the running computation to stop and waits until its worker has ended.
  void StopWorker();
  /// Commands that end the dialog or change a file set, which wait while a computation runs.
  static bool ChangesTheSets(int command);
  void CloseProgress();
  /// Moves the entries of the rows selected in `list` from one set to the other.
  void MoveSelected(const CListCtrl& list, FileSet& from, FileSet& to);

  HICON m_hIcon;
  std::string m_settings[kSettingCount];
  CFilesListCtrl m_fileList;
  CListCtrl m_resultList;
  CEdit m_capacityEdit;
  CStaticTarget m_dragTarget;
  CCancelDialog m_progress;
  std::unique_ptr<FileEntry[]> m_candidates;  ///< the running computation's candidates; null when idle
  HANDLE m_worker = nullptr;                  ///< the thread of the running or the last computation
};
