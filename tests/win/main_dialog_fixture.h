#pragma once
// Drives the real main dialog in-process: real files, real drops (WM_DROPFILES with an HDROP),
// buttons pressed by command id, message boxes answered through the program's own seam, rows and
// labels read back with the controls' own messages.

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "app/win/main_dialog.h"
#include "tests/win/win_temp_dir.h"

struct Row {
  std::string name, folder, size;
  bool operator==(const Row& o) const { return name == o.name && folder == o.folder && size == o.size; }
};
std::ostream& operator<<(std::ostream& out, const Row& r);

struct ShownBox {
  std::string text, caption;
  UINT type;
  int fileRows;  ///< the rows of the file list behind the box
};

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Opens the dialog with this medias.ini content (nullptr: no file at all).
  void Open(const char* settingsFile);
  /// Destroys the dialog object, which writes medias.ini; returns the file's bytes.
  std::string CloseAndReadSettings();

  HWND Dlg() const { return *m_dialog; }
  HWND Item(int id) const { return GetDlgItem(Dlg(), id); }
  void Press(int id);
  void SetText(int id, const std::string& text) { SetWindowTextA(Item(id), text.c_str()); }
  std::string Text(int id) const;
  bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
  /// Drops the paths on the file list as the shell does.
  void Drop(const std::vector<std::string>& paths);
  /// The same with UTF-16 paths, as the shell usually hands them over.
  void DropWide(const std::vector<std::wstring>& paths);
  std::vector<Row> Rows(int list) const;
  std::vector<std::string> Names(int list) const;
  void Select(int list, const std::vector<int>& rows);
  int ColumnWidth(int list, int column) const;
  /// Answers the next message boxes, in order (IDOK, IDYES, IDNO).
  void Answer(std::initializer_list<int> answers) { m_answers.insert(m_answers.end(), answers); }
  /// Processes messages, with the dialog's own keyboard handling, until done() or the timeout.
  template <typename Done>
  bool PumpUntil(Done done, DWORD ms = 20000);
  void Pump(DWORD ms = 30) {
    PumpUntil([] { return false; }, ms);
  }
  /// Waits until a computation has ended and the dialog is enabled again.
  bool WaitForCompletion(DWORD ms = 30000) {
    return PumpUntil([&] { return !m_dialog->Computing(); }, ms);
  }

  std::unique_ptr<CMainDialog> m_dialog;
  std::vector<ShownBox> m_boxes;
  std::deque<int> m_answers;
  WinTempDir m_dir;

 private:
  std::string m_settingsPath;
};

template <typename Done>
bool MainDialogTest::PumpUntil(Done done, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (PreTranslateDialogMessage(msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

/// A drop block as the shell builds it: a global block, which the receiver frees, of narrow or
/// UTF-16 paths.
HGLOBAL MakeDropBlock(const std::vector<std::string>& paths);
HGLOBAL MakeDropBlock(const std::vector<std::wstring>& paths);

/// A file of the given size (sparse where the size is large).
void MakeFile(const std::string& path, std::int64_t size);
void MakeFolder(const std::string& path);
