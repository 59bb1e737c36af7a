#include "handoff/win/static_target.h"

#include <ole2.h>

#include <cstdlib>

#include "files/file_sets.h"
#include "files/win/files_list_ctrl.h"
#include "framework/dialog.h"
#include "framework/message_table.h"
#include "handoff/drop_block.h"
#include "handoff/win/data_source.h"

namespace {

// The one data source of the run, made on the first drag and released when the program ends.
struct DataSourceHolder {
  FileDropSource* source = nullptr;
  ~DataSourceHolder() {
    if (source) source->Release();
  }
};
DataSourceHolder g_dataSource;

// How far the pointer must move, or how long the button must be held, before a press becomes a
// drag: the user's profile settings, read once per run.
struct DragThreshold {
  int distance;
  DWORD delay;
};
const DragThreshold& Threshold() {
  static const DragThreshold t = {static_cast<int>(GetProfileIntA("windows", "DragMinDist", 2)),
                                  static_cast<DWORD>(GetProfileIntA("windows", "DragDelay", 200))};
  return t;
}

// Holds the mouse until the pointer leaves the small square around the press point or the delay
// has passed (a drag), or until a button, Escape or the loss of the capture ends it (no drag).
bool WaitForDragStart(HWND hwnd) {
  POINT start;
  if (!GetCursorPos(&start)) return true;  // no pointer to follow (a locked desktop): the press starts the drag
  const DragThreshold& t = Threshold();
  const RECT square = {start.x - t.distance, start.y - t.distance, start.x + t.distance + 1, start.y + t.distance + 1};
  const DWORD began = GetTickCount();
  SetCapture(hwnd);
  bool drag = false;
  for (;;) {
    if (GetCapture() != hwnd) break;
    if (GetTickCount() - began > t.delay) {
      drag = true;
      break;
    }
    MSG msg;
    if (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
      if (msg.message == WM_MOUSEMOVE) {
        POINT p;
        if (!GetCursorPos(&p) || !PtInRect(&square, p)) {
          drag = true;
          break;
        }
        continue;
      }
      if (msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP || msg.message == WM_LBUTTONDOWN ||
          msg.message == WM_RBUTTONDOWN)
        break;
      continue;
    }
    if (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
      if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) break;
      continue;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    // Other messages (painting, timers) go on as usual while waiting.
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && (msg.message < WM_MOUSEFIRST || msg.message > WM_MOUSELAST) &&
        (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) &&
        PeekMessageA(&msg, nullptr, msg.message, msg.message, PM_REMOVE)) {
      DispatchMessageA(&msg);
    }
  }
  if (GetCapture() == hwnd) ReleaseCapture();
  return drag;
}

}  // namespace

bool CStaticTarget::OnSubclassMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
  static constexpr MessageEntry<CStaticTarget> kTable[] = {
      WmLButtonDown<&CStaticTarget::OnLButtonDown>(),
  };
  return DispatchTable(*this, kTable, message, w, l, result);
}

bool CStaticTarget::OnLButtonDown(UINT, POINT) {
  // While a computation runs its worker writes the result set, and the target is hidden; a press
  // that reaches it anyway (another program may post one) reads nothing.
  auto* owner = dynamic_cast<CFileListOwner*>(CDialog::FromHandle(GetAncestor(m_hWnd, GA_ROOT)));
  if (!owner || !owner->Computing()) BeginResultDrag(m_hWnd);
  return false;
}

DWORD BeginResultDrag(HWND pressed) {
  if (!g_dataSource.source) g_dataSource.source = new FileDropSource;
  const std::size_t size = DropBlockSize(g_resultSet);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return DROPEFFECT_NONE;
  auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
  if (!bytes) {
    GlobalFree(block);
    return DROPEFFECT_NONE;
  }
  WriteDropBlock(g_resultSet, bytes);
  GlobalUnlock(block);
  g_dataSource.source->SetBlock(block);

  if (pressed && !WaitForDragStart(pressed)) return DROPEFFECT_NONE;
  StandardDropSource dropSource;
  DWORD effect = DROPEFFECT_NONE;
  // Copy or link only: a move would take the user's files away while both lists keep their paths.
  DoDragDrop(g_dataSource.source, &dropSource, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect);
  return effect;
}

IDataObject* ResultDataSource() { return g_dataSource.source; }
