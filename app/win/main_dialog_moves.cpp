// ↓ and ↑ move the selected entries between the file list and the result list; the two delete
// buttons tidy the file list.
#include "app/win/main_dialog.h"
#include "files/file_sets.h"
#include "framework/message_box.h"

namespace {

// Calls handle(row) for every selected row, top to bottom. The next selected row is asked for
// before the current one is handled; the rows themselves stay until the lists are refilled.
template <typename Handle>
bool ForEachSelectedRow(const CListCtrl& list, Handle handle) {
  int row = list.GetNextItem(-1, LVNI_SELECTED);
  const bool any = row != -1;
  while (row != -1) {
    const int next = list.GetNextItem(row, LVNI_SELECTED);
    handle(row);
    row = next;
  }
  return any;
}

// The entry a row shows: its folder text followed by its name text is the full path.
FileEntry RowKey(const CListCtrl& list, int row) {
  FileEntry probe;
  probe.path = list.GetItemText(row, 1) + list.GetItemText(row, 0);
  return probe;
}

}  // namespace

void CMainDialog::MoveSelected(const CListCtrl& list, FileSet& from, FileSet& to) {
  const PathEqualityComparator samePath;
  const bool any = ForEachSelectedRow(list, [&](int row) {
    if (const FileEntry* e = from.Find(RowKey(list, row), samePath)) {
      to.Add(*e);
      from.RemoveCurrent();
    }
  });
  if (any) {
    to.Sort(StandardOrderComparator());
    RefreshResultPanel();
    m_fileList.Refill();
  }
  RefreshFileLabels();
}

void CMainDialog::OnMoveToResults() { MoveSelected(m_fileList, g_sourceSet, g_resultSet); }

void CMainDialog::OnMoveToFiles() { MoveSelected(m_resultList, g_resultSet, g_sourceSet); }

void CMainDialog::OnDeleteSelected() {
  const PathEqualityComparator samePath;
  ForEachSelectedRow(m_fileList, [&](int row) {
    if (g_sourceSet.Find(RowKey(m_fileList, row), samePath)) g_sourceSet.RemoveCurrent();
  });
  m_fileList.Refill();
  RefreshFileLabels();
}

void CMainDialog::OnDeleteAll() {
  if (AppMessageBox(m_hWnd, "すべてのファイルをリストから削除します\nよろしいですか？", "リストから削除", MB_YESNO) ==
      IDNO)
    return;
  g_sourceSet.RemoveAll();
  m_fileList.ClearRows();
  RefreshFileLabels();
}
