// Files and folders dropped on the file list.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <string>
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

// A dropped path in the program's code page, when it has one that names this file and no other.
bool NarrowPath(const wchar_t* path, std::size_t length, std::string& out) {
  BOOL replaced = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, static_cast<int>(length), nullptr, 0, nullptr, &replaced);
  if (n <= 0 || replaced) return false;
  out.assign(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, static_cast<int>(length), out.data(), n, nullptr, &replaced);
  if (replaced) return false;
  std::wstring back(length, L'\0');
  return MultiByteToWideChar(CP_ACP, 0, out.data(), n, back.data(), static_cast<int>(length)) == static_cast<int>(length) &&
         back.compare(0, length, path, length) == 0;
}

// The dropped paths, read from the drop block in one pass: asking DragQueryFile for each index
// walks the block from its start every time. The shell usually hands UTF-16 paths over; a path
// that the code page cannot hold exactly is left out, since its narrow form (a look-alike letter
// or a question mark) would name another file or none.
std::vector<std::string> DroppedPaths(HDROP drop) {
  std::vector<std::string> paths;
  const auto* block = static_cast<const unsigned char*>(GlobalLock(drop));
  if (!block) return paths;
  const SIZE_T size = GlobalSize(drop);
  const auto* files = reinterpret_cast<const DROPFILES*>(block);
  if (size >= sizeof(DROPFILES) && files->pFiles >= sizeof(DROPFILES) && files->pFiles < size) {
    std::string path;
    if (files->fWide) {
      const auto* at = reinterpret_cast<const wchar_t*>(block + files->pFiles);
      const auto* end = reinterpret_cast<const wchar_t*>(block + size - (size - files->pFiles) % sizeof(wchar_t));
      while (at < end && *at) {
        const std::size_t length = wcsnlen(at, static_cast<std::size_t>(end - at));
        if (NarrowPath(at, length, path)) paths.push_back(path);
        at += length + 1;
      }
    } else {
      const auto* at = reinterpret_cast<const char*>(block + files->pFiles);
      const auto* end = reinterpret_cast<const char*>(block + size);
      while (at < end && *at) {
        const std::size_t length = strnlen(at, static_cast<std::size_t>(end - at));
        paths.emplace_back(at, length);
        at += length + 1;
      }
    }
  }
  GlobalUnlock(drop);
  return paths;
}

}  // namespace

void CFilesListCtrl::OnDropFiles(HDROP drop) {
  auto* owner = dynamic_cast<CFileListOwner*>(CDialog::FromHandle(GetParent(m_hWnd)));
  // While a computation runs the file sets are its own: a drop another program sends is let go.
  if (owner && owner->Computing()) {
    DragFinish(drop);
    return;
  }
  CWaitCursor wait;
  {
    DropIntake intake(g_sourceSet, g_resultSet);
    PathWalker walker([&](FileEntry e) { intake.Add(std::move(e)); }, nullptr, &g_folderPaths);
    // Each path at its full length: a long path is never cut into a different one. The file
    // functions then fail on what they cannot open, and such a path adds nothing.
    walker.AddPaths(DroppedPaths(drop));
    intake.Finish();
  }
  if (owner) owner->RefreshFileLabels();
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Refill();
  wait.Restore();
  DragFinish(drop);
}
