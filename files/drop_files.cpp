// Files and folders dropped on the file list.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "files/drop_intake.h"
#include "files/file_sets.h"
#include "files/files_list_ctrl.h"
#include "files/path_walk.h"
#include "framework/app.h"
#include "framework/dialog.h"

namespace {
// How each folder was first reached in this run, so that a later drop through a link names the
// same files the same way.
FolderPaths g_folderPaths;
}  // namespace

void CFilesListCtrl::OnDropFiles(HDROP drop) {
  CWaitCursor wait;
  {
    DropIntake intake(g_sourceSet, g_resultSet);
    PathWalker walker([&](FileEntry e) { intake.Add(std::move(e)); }, nullptr, &g_folderPaths);
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<char> buffer;
    for (UINT i = 0; i < count; ++i) {
      // Each path at its full length: a long path is never cut into a different one. The file
      // functions then fail on what they cannot open, and such a path adds nothing.
      const UINT length = DragQueryFileA(drop, i, nullptr, 0);
      buffer.assign(length + 1, '\0');
      DragQueryFileA(drop, i, buffer.data(), length + 1);
      walker.AddPath(std::string(buffer.data(), length));
    }
    intake.Finish();
  }
  if (auto* owner = dynamic_cast<CFileListOwner*>(CDialog::FromHandle(GetParent(m_hWnd)))) owner->RefreshFileLabels();
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Refill();
  wait.Restore();
  DragFinish(drop);
}
