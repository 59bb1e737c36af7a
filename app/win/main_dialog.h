#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "files/file_entry.h"
#include "files/file_set.h"
#include "files/win/files_list_ctrl.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "handoff/win/static_target.h"
#include "search/plan.h"
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
  /// The lists' requests for their texts.
  bool OnNotify(const NMHDR& header, LRESULT& result);
  bool OnPaint();
  HICON OnQueryDragIcon() { return m_hIcon; }
  void OnGetMinMaxInfo(MINMAXINFO& info);
  void OnSize(UINT type, SIZE client);
  /// Moved to a screen of another DPI (per-monitor DPI awareness): the pictures, the icons and
  /// the layout rules follow.
  bool OnDpiChanged(UINT dpi, const RECT& suggested);
  /// At another DPI than 96, and again after the dialog manager rescaled the font: the
  /// template placed as at 96 DPI and scaled, the layout rules, and the columns fitted in the
  /// font in use.
  void OnRelayout();
  /// A length of the layout, laid out for 96 DPI, at the window's DPI.
  int Scaled(int pixels) const;
  /// The lists as wide as the window and the exit button in its corner.
  void LayOut(int cx, int cy);
  /// Sizes the window to the layout rules where it does not follow them.
  void ConformToLayout();
  /// The drag-out target's picture and the drop prompt as drawn for the window's DPI.
  void UsePicturesForDpi();
  /// The caption's and the task bar's icons loaded at the sizes of the window's DPI.
  void UseIconsForDpi();
  void OnDeleteAll();
  void OnDeleteSelected();
  void OnPreset(int setting);
  void OnPresetCd650() { OnPreset(kCd650Setting); }
  void OnPresetCd700() { OnPreset(kCd700Setting); }
  void OnPresetDvd() { OnPreset(kDvdSetting); }
  void OnExit();
  void OnPreviousValue();
  void OnCompute();
  /// GO's steps: the result entries held aside as pinned (returns their total), the sizes of
  /// the file list, the refusals, the progress dialog centred on the window, the initial
  /// solution, and the candidates handed to a new worker.
  std::int64_t SetResultAside();
  static std::vector<std::int64_t> SourceSizes();
  bool AcceptPlan(const SearchPlan& plan, std::int64_t capacity);
  void OpenProgress(std::int64_t remaining);
  void TakeInitialSolution(const SearchPlan& plan);
  void StartWorker(const SearchPlan& plan);
  void OnCapacityChange();
  void OnMoveToFiles();
  void OnMoveToResults();
  void OnManual();
  /// The end of a computation, whether it ran out or was stopped; nothing when none runs.
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
  HICON m_iconsForDpi[2] = {};  ///< small and big, once the window moved to another DPI
  UINT m_dpi = USER_DEFAULT_SCREEN_DPI;
  int m_targetPictureId;
  HBITMAP m_targetPicture = nullptr;  ///< the target's picture for another DPI than the template's
  std::string m_settings[kSettingCount];
  CFilesListCtrl m_fileList;
  CFileRowsList m_resultList{""};  ///< bare numbers in the result list's size column
  CEdit m_capacityEdit;
  CStaticTarget m_dragTarget;
  CCancelDialog m_progress;
  std::unique_ptr<FileEntry[]> m_candidates;  ///< the running computation's candidates; null when idle
  std::string m_capacityText;                 ///< the capacity text the running computation was started with
  HANDLE m_worker = nullptr;                  ///< the thread of the running or the last computation
};
