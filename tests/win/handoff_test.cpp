// Correcting a result by hand, tidying the file list, and dragging the result out.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "files/file_sets.h"
#include "handoff/win/static_target.h"
#include "res/resource.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/screen.h"

namespace {

class HandoffTest : public MainDialogTest {
 protected:
  // Six files: a6 (600) a5 (500) a4 (400) a3 (300) a2 (200) a1 (100), in that order in the list.
  void OpenWithFiles() {
    Open("\t\r\n\t\r\n\t\r\n\t\r\n12345\t\r\n");
    std::vector<std::string> paths;
    for (int i = 1; i <= 6; ++i) {
      paths.push_back(m_dir.path() + "\\a" + std::to_string(i));
      MakeFile(paths.back(), i * 100);
    }
    Drop(paths);
  }
};

// Reads a CF_HDROP block the way a drop target does.
std::vector<std::string> DroppedPaths(HGLOBAL block) {
  std::vector<std::string> paths;
  HDROP drop = static_cast<HDROP>(block);
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    char path[1024];
    DragQueryFileA(drop, i, path, sizeof path);
    paths.push_back(path);
  }
  return paths;
}

std::string BlockBytes(IDataObject* data) {
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (FAILED(data->GetData(&format, &medium))) return {};
  const SIZE_T size = GlobalSize(medium.hGlobal);
  std::string bytes(static_cast<const char*>(GlobalLock(medium.hGlobal)), size);
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return bytes;
}

}  // namespace

TEST_F(HandoffTest, MovingSelectedEntriesBetweenTheLists) {
  OpenWithFiles();
  // Nothing selected: nothing moves.
  Press(IDC_MOVE_TO_RESULTS);
  EXPECT_EQ(Rows(IDC_RESULT_LIST).size(), 0u);
  EXPECT_FALSE(Visible(IDC_DRAG_TARGET));

  Select(IDC_FILE_LIST, {1});
  Press(IDC_MOVE_TO_RESULTS);
  // Three rows that are not next to each other; they join the earlier result in order.
  Select(IDC_FILE_LIST, {0, 2, 4});
  Press(IDC_MOVE_TO_RESULTS);
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"a6", "a5", "a3", "a1"}));
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"a4", "a2"}));
  EXPECT_EQ(Text(IDC_RESULT_TOTAL), "1,500バイト");  // more than the capacity text: no warning
  EXPECT_TRUE(m_boxes.empty());
  EXPECT_EQ(Text(IDC_FILE_COUNT), "2個");
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "600バイト");
  EXPECT_EQ(SendMessageA(Item(IDC_FILE_LIST), LVM_GETSELECTEDCOUNT, 0, 0), 0);
  for (int id : {IDC_RESULT_CAPTION, IDC_RESULT_LIMIT_CAPTION, IDC_RESULT_TOTAL, IDC_RESULT_LIMIT, IDC_DRAG_TARGET,
                 IDC_DRAG_HINT})
    EXPECT_TRUE(Visible(id)) << id;

  // Result rows have no effect on the delete commands.
  Select(IDC_RESULT_LIST, {0});
  Press(IDC_DELETE_SELECTED);
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"a4", "a2"}));
  EXPECT_EQ(Rows(IDC_RESULT_LIST).size(), 4u);

  // Everything back: the result panel and the drag target disappear.
  Select(IDC_RESULT_LIST, {0, 1, 2, 3});
  Press(IDC_MOVE_TO_FILES);
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"a6", "a5", "a4", "a3", "a2", "a1"}));
  EXPECT_TRUE(Rows(IDC_RESULT_LIST).empty());
  for (int id : {IDC_RESULT_CAPTION, IDC_RESULT_TOTAL, IDC_DRAG_TARGET, IDC_DRAG_HINT}) EXPECT_FALSE(Visible(id)) << id;
}

TEST_F(HandoffTest, DeletingSelectedAndAllEntries) {
  OpenWithFiles();
  Select(IDC_FILE_LIST, {5});
  Press(IDC_MOVE_TO_RESULTS);  // a1 chosen
  Select(IDC_FILE_LIST, {0, 3});
  Press(IDC_DELETE_SELECTED);
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"a5", "a4", "a2"}));
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "1,100バイト");
  Press(IDC_DELETE_SELECTED);  // nothing selected: refilled, nothing removed
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"a5", "a4", "a2"}));

  Answer({IDNO});
  Press(IDC_DELETE_ALL);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].text, "すべてのファイルをリストから削除します\nよろしいですか？");
  EXPECT_EQ(m_boxes[0].caption, "リストから削除");
  EXPECT_EQ(m_boxes[0].type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(Rows(IDC_FILE_LIST).size(), 3u);

  Answer({IDYES});
  Press(IDC_DELETE_ALL);
  EXPECT_TRUE(Rows(IDC_FILE_LIST).empty());
  EXPECT_EQ(g_sourceSet.GetCount(), 0);
  EXPECT_EQ(Text(IDC_FILE_COUNT), "個");
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"a1"}));  // the result stays for dragging
  EXPECT_TRUE(Visible(IDC_DRAG_TARGET));
}

TEST_F(HandoffTest, TheDragDataHoldsEveryResultPathByteForByte) {
  Open(nullptr);
  const std::string d = m_dir.path();
  MakeFolder(d + "\\表");
  const std::vector<std::string> paths = {d + "\\表\\ソ.mp3", d + "\\b.txt", d + "\\表\\c"};
  MakeFile(paths[0], 300);
  MakeFile(paths[1], 200);
  MakeFile(paths[2], 100);
  Drop(paths);
  Select(IDC_FILE_LIST, {0, 1, 2});
  Press(IDC_MOVE_TO_RESULTS);

  // With no button held the drag ends at once, over whatever window is there.
  BeginResultDrag(nullptr);
  IDataObject* data = ResultDataSource();
  ASSERT_NE(data, nullptr);
  std::string expected(20, '\0');
  expected[0] = 20;
  for (const std::string& p : paths) expected += p + std::string(1, '\0');
  expected += std::string(1, '\0');
  const std::string bytes = BlockBytes(data);
  EXPECT_EQ(bytes.size(), 20 + (paths[0].size() + 1) + (paths[1].size() + 1) + (paths[2].size() + 1) + 1);
  EXPECT_EQ(bytes, expected);
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  EXPECT_EQ(DroppedPaths(medium.hGlobal), paths);
  ReleaseStgMedium(&medium);
  FORMATETC text = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_NE(data->QueryGetData(&text), S_OK);  // the one format offered is the file list

  // A second drag replaces the first drag's data; the result itself is unchanged by dragging.
  Select(IDC_RESULT_LIST, {1});
  Press(IDC_MOVE_TO_FILES);
  BeginResultDrag(nullptr);
  EXPECT_EQ(ResultDataSource(), data);
  EXPECT_EQ(BlockBytes(data), std::string("\x14\0\0\0", 4) + std::string(16, '\0') + paths[0] + std::string(1, '\0') +
                                  paths[2] + std::string(2, '\0'));
  EXPECT_EQ(Rows(IDC_RESULT_LIST).size(), 2u);
}

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A window that takes file drops through OLE, as disc-writing software does.
class Receiver final : public IDropTarget {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    offered = *effect;
    *effect = DROPEFFECT_COPY;
    ++entered;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
      dropped.push_back(DroppedPaths(medium.hGlobal));
      ReleaseStgMedium(&medium);
    }
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  int entered = 0;
  DWORD offered = 0;
  std::vector<std::vector<std::string>> dropped;
};
#pragma GCC diagnostic pop

HWND MakeReceiverWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZumiboTestReceiver";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassA(&wc);
  return CreateWindowExA(WS_EX_TOPMOST, "ZumiboTestReceiver", "受け取り", WS_POPUP | WS_VISIBLE | WS_BORDER, 650, 100,
                         250, 200, nullptr, nullptr, wc.hInstance, nullptr);
}

POINT CentreOf(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Mouse input from another thread, as a user's hand would give it while the program is busy in
// its drag loop on the user-interface thread. Every event carries its position: in a virtual X
// display Wine can take a late motion event from the X pointer after a move, and a press without a
// position would land wherever that left the cursor (once, on the exit button).
void Mouse(POINT p, DWORD buttons = 0) {
  SetCursorPos(p.x, p.y);
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dx = (p.x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (p.y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
  SendInput(1, &in, sizeof in);
}

}  // namespace

TEST_F(HandoffTest, DraggingTheTargetDropsTheFilesOnAnotherWindow) {
  OpenWithFiles();
  Select(IDC_FILE_LIST, {0, 5});
  Press(IDC_MOVE_TO_RESULTS);
  ASSERT_TRUE(Visible(IDC_DRAG_TARGET));
  Receiver receiver;
  HWND target = MakeReceiverWindow();
  ASSERT_EQ(RegisterDragDrop(target, &receiver), S_OK);
  SetForegroundWindow(Dlg());
  Pump(200);
  if (!ScreenshotDir().empty()) SaveWindowPicture(Dlg(), ScreenshotDir() + "\\result.bmp");

  const POINT from = CentreOf(Item(IDC_DRAG_TARGET)), to = CentreOf(target);
  const std::vector<std::string> expected = {m_dir.path() + "\\a6", m_dir.path() + "\\a1"};

  // A press and release without moving, within the drag delay: no drag.
  Mouse(from);
  Pump(100);
  std::thread click([&] {
    Mouse(from, MOUSEEVENTF_LEFTDOWN);
    Sleep(30);
    Mouse(from, MOUSEEVENTF_LEFTUP);
  });
  Pump(600);
  click.join();
  EXPECT_EQ(receiver.dropped.size(), 0u);

  // Press, move onto the other window, release: the files arrive there. Twice in a row.
  for (int round = 0; round < 2; ++round) {
    SetForegroundWindow(Dlg());
    Pump(300);
    std::atomic<bool> done{false};
    std::thread hand([&] {
      Mouse(from);
      Sleep(300);
      Mouse(from, MOUSEEVENTF_LEFTDOWN);
      Sleep(300);
      for (int step = 1; step <= 20; ++step) {
        Mouse({from.x + (to.x - from.x) * step / 20, from.y + (to.y - from.y) * step / 20});
        Sleep(50);
      }
      Sleep(300);
      Mouse(to, MOUSEEVENTF_LEFTUP);
      Sleep(300);
      done = true;
    });
    PumpUntil([&] { return done.load() && receiver.dropped.size() > static_cast<std::size_t>(round); }, 8000);
    hand.join();
    ASSERT_TRUE(IsWindow(Dlg())) << "round " << round << ": the press closed the window";
    ASSERT_EQ(receiver.dropped.size(), static_cast<std::size_t>(round + 1))
        << "round " << round << ", drag entered the receiver " << receiver.entered << " times";
    EXPECT_EQ(receiver.dropped[round], expected);
    // Copy or link: never a move, which would take the files away from both lists' paths.
    EXPECT_EQ(receiver.offered, static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_LINK));
  }
  // Nothing changes after a drop: the same result can be dragged again.
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"a6", "a1"}));
  RevokeDragDrop(target);
  DestroyWindow(target);
}
