// Files and folders dropped on the file list.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "files/drop_intake.h"
#include "files/file_sets.h"
#include "files/left_out.h"
#include "files/narrow_win32.h"
#include "files/path_walk.h"
#include "files/win/files_list_ctrl.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/message_box.h"

namespace {

// How each folder was first reached in this run, so that a later drop through a link names the
// same files the same way.
FolderPaths g_folderPaths;

// Each path of a drop list, in order: strings ended by a zero, the list by an empty one. `end`
// bounds the list where the size of the block is known; where it is not (memory that is not a
// global block, as a drop from another process may be), the list is read as DragQueryFile reads
// it, up to its terminator.
template <typename Char, typename Visit>
void ForEachDroppedPath(const Char* at, const Char* end, Visit visit) {
  while ((!end || at < end) && *at) {
    const Char* stop = at;
    while ((!end || stop < end) && *stop) ++stop;
    visit(at, static_cast<std::size_t>(stop - at));
    at = stop + 1;
  }
}

// The dropped paths, read from the drop block in one pass: asking DragQueryFile for each index
// walks the block from its start every time. The shell usually hands UTF-16 paths over; a path
// that the code page cannot hold exactly is left out (and named in the notice), since its narrow
// form (a look-alike letter or a question mark) would name another file or none.
std::vector<std::string> DroppedPaths(HDROP drop, LeftOutPaths& leftOut) {
  std::vector<std::string> paths;
  const auto* block = static_cast<const unsigned char*>(GlobalLock(drop));
  if (!block) return paths;
  const SIZE_T size = GlobalSize(drop);
  const auto* files = reinterpret_cast<const DROPFILES*>(block);
  if ((size == 0 || (size >= sizeof(DROPFILES) && files->pFiles < size)) && files->pFiles >= sizeof(DROPFILES)) {
    const unsigned char* list = block + files->pFiles;
    const unsigned char* end = size ? block + size : nullptr;
    std::string path;
    if (files->fWide) {
      const auto* wideEnd = end ? reinterpret_cast<const wchar_t*>(end - (end - list) % sizeof(wchar_t)) : nullptr;
      ForEachDroppedPath(reinterpret_cast<const wchar_t*>(list), wideEnd, [&](const wchar_t* at, std::size_t length) {
        const std::wstring_view wide(at, length);
        if (NarrowExactly(wide, path)) paths.push_back(path);
        else leftOut.Add(NarrowAsShown(wide));
      });
    } else {
      ForEachDroppedPath(reinterpret_cast<const char*>(list), reinterpret_cast<const char*>(end),
                         [&](const char* at, std::size_t length) { paths.emplace_back(at, length); });
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
  LeftOutPaths leftOut;
  {
    CWaitCursor wait;
    {
      DropIntake intake(g_sourceSet, g_resultSet);
      PathWalker walker([&](FileEntry e) { intake.Add(std::move(e)); },
                        [&](const std::string& path) { leftOut.Add(path); }, &g_folderPaths);
      // Each path at its full length: a long path is never cut into a different one. The file
      // functions then fail on what they cannot open, and such a path is left out.
      walker.AddPaths(DroppedPaths(drop, leftOut));
      intake.Finish();
    }
    // The rows point into the source set: they follow it before anything is painted.
    Refill();
    if (owner) owner->RefreshFileLabels();
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    wait.Restore();
    DragFinish(drop);
  }
  // Files the user dropped and will not find in the list are named, once the list shows the rest.
  if (leftOut.Count()) AppMessageBox(GetParent(m_hWnd), leftOut.Notice(), nullptr, MB_OK);
}
