// The main window: start-up, settings, presets, dropping files, labels, layout, help and About.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/manual.h"
#include "app/settings.h"
#include "files/cp932.h"
#include "framework/app.h"
#include "framework/dpi.h"
#include "framework/ole.h"
#include "res/resource.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/screen.h"

namespace {

const char kSettings[] =
    "20\tMaxLoop "
    "Limit\r\n681,984,000\t650MBCD-ROM\r\n737,280,000\t700MBCD-ROM\r\n4,700,372,992\tDVD\r\n1,000\t前回入力値\r\n";

const int kPanel[] = {IDC_RESULT_CAPTION, IDC_RESULT_LIMIT_CAPTION, IDC_RESULT_TOTAL,
                      IDC_RESULT_LIMIT,   IDC_DRAG_TARGET,          IDC_DRAG_HINT};

std::string ColumnHeading(HWND list, int column) {
  char text[64] = "";
  LVCOLUMNA c = {};
  c.mask = LVCF_TEXT;
  c.pszText = text;
  c.cchTextMax = sizeof text;
  SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&c));
  return text;
}

RECT ClientRectOf(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

TEST_F(MainDialogTest, StartsEmptyWithTheTemplateTexts) {
  Open(nullptr);
  EXPECT_EQ(CWnd::WindowText(Dlg()), "Zumibo Ver1.00");
  EXPECT_EQ(Text(IDC_FILE_COUNT), "0個");
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "0バイト");
  EXPECT_EQ(Text(IDC_RESULT_TOTAL), "バイト");  // the result panel was refreshed for the empty result set
  for (int id : kPanel) EXPECT_FALSE(Visible(id)) << id;
  EXPECT_TRUE(Rows(IDC_FILE_LIST).empty());
  EXPECT_TRUE(Rows(IDC_RESULT_LIST).empty());
  EXPECT_EQ(Text(IDC_CAPACITY), "");
  EXPECT_EQ(Text(IDC_MAX_COUNT), "");
  for (int list : {IDC_FILE_LIST, IDC_RESULT_LIST}) {
    EXPECT_EQ(ColumnHeading(Item(list), 0), "ファイル名");
    EXPECT_EQ(ColumnHeading(Item(list), 1), "ファイルの場所");
    EXPECT_EQ(ColumnHeading(Item(list), 2), "サイズ");
  }
  for (int list : {IDC_FILE_LIST, IDC_RESULT_LIST}) {
    for (int c = 0; c < 3; ++c) EXPECT_GT(ColumnWidth(list, c), 20) << c;  // as wide as the headings
  }

  // The rules' size, laid out for 96 DPI and scaled (the suite also runs at 144 and 192 DPI for
  // the pictures, scripts/screenshots).
  RECT client;
  GetClientRect(Dlg(), &client);
  EXPECT_EQ(client.right, Scaled(557, DpiOf(Dlg())));
  EXPECT_EQ(client.bottom, Scaled(386, DpiOf(Dlg())));
  EXPECT_EQ(GetFocus(), Item(IDOK));

  // The About item ends the system menu, after a separator.
  HMENU menu = GetSystemMenu(Dlg(), FALSE);
  const int items = GetMenuItemCount(menu);
  ASSERT_GE(items, 2);
  EXPECT_EQ(GetMenuItemID(menu, items - 1), static_cast<UINT>(IDM_ABOUTBOX));
  char label[64] = "";
  GetMenuStringA(menu, items - 1, label, sizeof label, MF_BYPOSITION);
  EXPECT_STREQ(label, "バージョン情報 Zumibo(&A)...");
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE;
  GetMenuItemInfoA(menu, items - 2, TRUE, &info);
  EXPECT_TRUE(info.fType & MFT_SEPARATOR);

  // Without settings the presets empty the capacity.
  SetText(IDC_CAPACITY, "123");
  Press(IDC_PRESET_DVD);
  EXPECT_EQ(Text(IDC_CAPACITY), "");
  Pump(200);
  if (!ScreenshotDir().empty()) SaveWindowPicture(Dlg(), ScreenshotDir() + "\\main-empty.bmp");
}

TEST_F(MainDialogTest, SettingsFillTheEditsAndTheyAreSavedOnExit) {
  Open(kSettings);
  EXPECT_EQ(Text(IDC_CAPACITY), "1,000");
  EXPECT_EQ(Text(IDC_MAX_COUNT), "20");
  Press(IDC_PRESET_CD650);
  EXPECT_EQ(Text(IDC_CAPACITY), "681,984,000");
  Press(IDC_PRESET_CD700);
  EXPECT_EQ(Text(IDC_CAPACITY), "737,280,000");
  Press(IDC_PRESET_DVD);
  EXPECT_EQ(Text(IDC_CAPACITY), "4,700,372,992");
  Press(IDC_PREVIOUS_VALUE);
  EXPECT_EQ(Text(IDC_CAPACITY), "1,000");

  SetText(IDC_CAPACITY, "12,345 バイト");
  SetText(IDC_MAX_COUNT, "");
  Press(IDOK);
  EXPECT_FALSE(IsWindow(Dlg()));
  EXPECT_EQ(CloseAndReadSettings(),
            "\tMaxLoop Limit\r\n681,984,000\t650MBCD-ROM\r\n737,280,000\t700MBCD-ROM\r\n4,700,372,992\tDVD\r\n12,345 "
            "バイト\t前回入力値\r\n");
}

TEST_F(MainDialogTest, EscSavesWithoutTakingTheEdits) {
  Open(kSettings);
  SetText(IDC_CAPACITY, "999");
  SetText(IDC_MAX_COUNT, "3");
  SetFocus(Item(IDC_CAPACITY));
  PostMessageA(Item(IDC_CAPACITY), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(Dlg()); }, 5000));
  EXPECT_EQ(CloseAndReadSettings(), kSettings);

  // And without any settings file, the end of the run writes five empty settings.
  Open(nullptr);
  Press(IDCANCEL);
  EXPECT_EQ(CloseAndReadSettings(), "\tMaxLoop Limit\r\n\t650MBCD-ROM\r\n\t700MBCD-ROM\r\n\tDVD\r\n\t前回入力値\r\n");
}

TEST_F(MainDialogTest, DropsFilesAndFoldersLargestFirst) {
  Open(kSettings);
  const std::string d = m_dir.path();
  MakeFolder(d + "\\音楽");
  MakeFile(d + "\\音楽\\ソ", 1234567);
  MakeFolder(d + "\\表");
  MakeFile(d + "\\表\\a.txt", 10);
  MakeFile(d + "\\表\\.profile", 5);
  MakeFolder(d + "\\表\\.cache");
  MakeFile(d + "\\表\\.cache\\x", 7);
  MakeFolder(d + "\\表\\深い");
  MakeFile(d + "\\表\\深い\\b.txt", 10);
  MakeFolder(d + "\\empty");
  MakeFile(d + "\\zero.bin", 0);
  MakeFile(d + "\\big.iso", std::int64_t{5} << 30);
  MakeFile(d + "\\データ.dat", 500);
  SetFileAttributesA((d + "\\データ.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  Drop({d + "\\音楽", d + "\\表", d + "\\empty", d + "\\zero.bin", d + "\\big.iso", d + "\\データ.dat",
        d + "\\表\\a.txt", d + "\\missing"});
  const std::vector<Row> expected = {
      {"big.iso", d + "\\", "5,368,709,120バイト"}, {"ソ", d + "\\音楽\\", "1,234,567バイト"},
      {"データ.dat", d + "\\", "500バイト"},        {"a.txt", d + "\\表\\", "10バイト"},
      {"b.txt", d + "\\表\\深い\\", "10バイト"},    {"zero.bin", d + "\\", "バイト"},
  };
  EXPECT_EQ(Rows(IDC_FILE_LIST), expected);
  EXPECT_EQ(Text(IDC_FILE_COUNT), "6個");
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "5,369,944,207バイト");
  for (int c = 0; c < 3; ++c) EXPECT_GT(ColumnWidth(IDC_FILE_LIST, c), 30) << c;
  // Typing a name's first letter selects its row, as in any list.
  SendMessageA(Item(IDC_FILE_LIST), WM_CHAR, 'z', 1);  // once, as the keyboard sends it
  EXPECT_EQ(SendMessageA(Item(IDC_FILE_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 5);

  // An empty folder alone adds nothing but still refreshes.
  Drop({d + "\\empty"});
  EXPECT_EQ(Rows(IDC_FILE_LIST).size(), 6u);
  Pump(200);
  if (!ScreenshotDir().empty()) SaveWindowPicture(Dlg(), ScreenshotDir() + "\\main-files.bmp");
}

TEST_F(MainDialogTest, EachFileIsListedOnceWithItsLatestSize) {
  Open(kSettings);
  const std::string f = m_dir.path() + "\\song.mp3";
  MakeFile(f, 100);
  Drop({f, f});
  EXPECT_EQ(Rows(IDC_FILE_LIST).size(), 1u);
  MakeFile(f, 300);
  Drop({f});
  ASSERT_EQ(Rows(IDC_FILE_LIST).size(), 1u);
  EXPECT_EQ(Rows(IDC_FILE_LIST)[0].size, "300バイト");
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "300バイト");

  // A file that is in the result list is not added to the file list again.
  MakeFile(m_dir.path() + "\\other.mp3", 50);
  Drop({m_dir.path()});
  ASSERT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"song.mp3", "other.mp3"}));
  Select(IDC_FILE_LIST, {0});
  Press(IDC_MOVE_TO_RESULTS);
  Drop({m_dir.path()});
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"other.mp3"}));
  EXPECT_EQ(Names(IDC_RESULT_LIST), (std::vector<std::string>{"song.mp3"}));
}

TEST_F(MainDialogTest, FolderLinksAreWalkedOnce) {
  // The test driver makes a real folder tree with links on the Linux side: top\sub\loop leads
  // back to top, top\again leads to top\sub.
  const char* fixture = std::getenv("ZUMIBO_LINK_FIXTURE");
  if (!fixture) GTEST_SKIP() << "ZUMIBO_LINK_FIXTURE is not set";
  Open(kSettings);
  Drop({fixture});
  const std::vector<Row> rows = Rows(IDC_FILE_LIST);
  ASSERT_EQ(rows.size(), 2u) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows[0].name, "top.txt");
  EXPECT_EQ(rows[1].name, "file.txt");
  // Dropping the link itself next to its target changes nothing either.
  Drop({std::string(fixture) + "\\again", std::string(fixture) + "\\sub"});
  EXPECT_EQ(Rows(IDC_FILE_LIST), rows);
  Drop({std::string(fixture) + "\\sub\\loop\\again\\file.txt"});
  EXPECT_EQ(Rows(IDC_FILE_LIST), rows);
}

TEST_F(MainDialogTest, ALongDroppedPathIsNeverCutIntoAnotherPath) {
  Open(kSettings);
  const std::string d = m_dir.path() + "\\";
  // The first 259 bytes of the long path name a file that exists.
  const std::string cut = d + std::string(259 - d.size(), 'a');
  MakeFile(cut, 42);
  const std::string longPath = cut + "bbbbbbbb.txt";
  Drop({longPath});
  for (const Row& r : Rows(IDC_FILE_LIST)) EXPECT_NE(r.folder + r.name, cut);
}

TEST_F(MainDialogTest, LayoutFollowsTheWidthOnly) {
  Open(kSettings);
  const auto px = [&](int pixels) { return Scaled(pixels, DpiOf(Dlg())); };
  const int width = px(557), height = px(386);
  RECT window, client;
  GetWindowRect(Dlg(), &window);
  GetClientRect(Dlg(), &client);
  const int dx = (window.right - window.left) - client.right, dy = (window.bottom - window.top) - client.bottom;
  MINMAXINFO info = {};
  info.ptMaxTrackSize = {5000, 5000};
  SendMessageA(Dlg(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, dx + width);
  EXPECT_EQ(info.ptMinTrackSize.y, dy + height);
  EXPECT_EQ(info.ptMaxTrackSize.y, dy + height);
  EXPECT_EQ(info.ptMaxTrackSize.x, 5000);

  const auto check = [&](int cx) {
    GetClientRect(Dlg(), &client);
    EXPECT_EQ(client.right, cx);
    const RECT files = ClientRectOf(Dlg(), Item(IDC_FILE_LIST)), results = ClientRectOf(Dlg(), Item(IDC_RESULT_LIST));
    EXPECT_EQ(files.right - files.left, cx - px(24));
    EXPECT_EQ(results.right - results.left, cx - px(24));
    for (int id : {IDC_FILE_LIST, IDC_RESULT_LIST}) {  // and their columns still fill them
      RECT inside;
      GetClientRect(Item(id), &inside);
      EXPECT_EQ(ColumnWidth(id, 0) + ColumnWidth(id, 1) + ColumnWidth(id, 2), inside.right) << id;
    }
    const RECT exit = ClientRectOf(Dlg(), Item(IDOK));
    EXPECT_EQ(client.right - exit.right, px(12));
    EXPECT_EQ(client.bottom - exit.bottom, px(12));
  };
  // Minimised and restored twice, the window comes back at the size it had: at the template's
  // size and, below, after it was widened.
  const auto minimiseAndRestore = [&] {
    RECT before, after;
    GetWindowRect(Dlg(), &before);
    for (int i = 0; i < 2; ++i) {
      ShowWindow(Dlg(), SW_MINIMIZE);
      EXPECT_TRUE(PumpUntil([&] { return IsIconic(Dlg()) != FALSE; }, 2000));
      ShowWindow(Dlg(), SW_RESTORE);
      EXPECT_TRUE(PumpUntil([&] { return !IsIconic(Dlg()); }, 2000));
    }
    GetWindowRect(Dlg(), &after);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
  };
  minimiseAndRestore();
  // The template's own layout holds until the first size change.
  SetWindowPos(Dlg(), nullptr, 0, 0, dx + width + 300, dy + height, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  check(width + 300);
  SetWindowPos(Dlg(), nullptr, 0, 0, dx + width, dy + height, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  check(width);
  SetWindowPos(Dlg(), nullptr, 0, 0, dx + width + 300, dy + height, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  Pump(200);
  if (!ScreenshotDir().empty()) SaveWindowPicture(Dlg(), ScreenshotDir() + "\\main-wide.bmp");
  EXPECT_GT(DarkPixels(Item(IDOK)), 20) << "the exit button is not drawn at its new place";
  // Minimised and restored: the size and the layout are as they were.
  minimiseAndRestore();
  check(width + 300);
}

TEST_F(MainDialogTest, LayoutPicturesAndIconsFollowTheDpi) {
  // Aware of the DPI, so that the system never stretches the window as a picture.
  EXPECT_TRUE(IsProcessDPIAware());
  Open(kSettings);
  if (DpiOf(Dlg()) != USER_DEFAULT_SCREEN_DPI) GTEST_SKIP() << "goes from 96 DPI to 144 and back";
  SetForegroundWindow(Dlg());
  RECT window;
  GetWindowRect(Dlg(), &window);
  // The window is moved to a screen of another DPI, as Windows moves it with per-monitor awareness.
  const auto moveTo = [&](UINT dpi) {
    RECT suggested = {window.left, window.top, window.left + Scaled(window.right - window.left, dpi),
                      window.top + Scaled(window.bottom - window.top, dpi)};
    SendMessageA(Dlg(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RedrawWindow(Item(IDC_FILE_LIST), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump(200);
  };
  const auto pictureWidth = [&] {
    BITMAP bitmap = {};
    GetObjectA(reinterpret_cast<HBITMAP>(SendMessageA(Item(IDC_DRAG_TARGET), STM_GETIMAGE, IMAGE_BITMAP, 0)),
               sizeof bitmap, &bitmap);
    return bitmap.bmWidth;
  };
  const auto iconWidth = [&](WPARAM which) {
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (GetIconInfo(reinterpret_cast<HICON>(SendMessageA(Dlg(), WM_GETICON, which, 0)), &info)) {
      GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    }
    return bitmap.bmWidth;
  };
  const auto pixel = [&](int x, int y) {
    HDC dc = GetDC(Item(IDC_FILE_LIST));
    const COLORREF color = GetPixel(dc, x, y);
    ReleaseDC(Item(IDC_FILE_LIST), dc);
    return color;
  };
  const COLORREF olive = RGB(0x80, 0x80, 0x00), yellow = RGB(0xFF, 0xFF, 0x99);

  moveTo(144);
  // Each rule of the layout at 1.5 times its 96-DPI length.
  RECT client;
  GetClientRect(Dlg(), &client);
  EXPECT_EQ(client.right, 836);
  EXPECT_EQ(client.bottom, 579);
  GetWindowRect(Dlg(), &window);
  MINMAXINFO info = {};
  SendMessageA(Dlg(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x - (window.right - window.left), 0);
  EXPECT_EQ(info.ptMaxTrackSize.y - (window.bottom - window.top), 0);
  EXPECT_EQ(ClientRectOf(Dlg(), Item(IDC_FILE_LIST)).right, 836 - 36 + ClientRectOf(Dlg(), Item(IDC_FILE_LIST)).left);
  EXPECT_EQ(client.right - ClientRectOf(Dlg(), Item(IDOK)).right, 18);
  EXPECT_EQ(client.bottom - ClientRectOf(Dlg(), Item(IDOK)).bottom, 18);
  // The pictures and icons drawn for 144 DPI.
  EXPECT_EQ(pictureWidth(), 48);
  EXPECT_EQ(iconWidth(ICON_BIG), 48);
  EXPECT_EQ(iconWidth(ICON_SMALL), 24);
  // The drop prompt: its panels 1.5 times as far in, edges two pixels wide, the pattern's dots
  // two pixels wide on a grid of six.
  EXPECT_EQ(pixel(30, 48), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(pixel(30, 49), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(pixel(30, 60), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(pixel(60, 73), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(pixel(54, 78), olive);
  EXPECT_EQ(pixel(55, 79), olive);
  EXPECT_EQ(pixel(57, 81), olive);
  EXPECT_EQ(pixel(56, 78), yellow);
  EXPECT_EQ(pixel(59, 81), yellow);

  // And back: everything as at the start.
  moveTo(96);
  GetClientRect(Dlg(), &client);
  EXPECT_EQ(client.right, 557);
  EXPECT_EQ(client.bottom, 386);
  EXPECT_EQ(client.right - ClientRectOf(Dlg(), Item(IDOK)).right, 12);
  EXPECT_EQ(pictureWidth(), 32);
  EXPECT_EQ(pixel(36, 52), olive);
  EXPECT_EQ(pixel(37, 52), yellow);
}

TEST_F(MainDialogTest, CountAndTotalLabelsGroupDigits) {
  Open(kSettings);
  const std::string d = m_dir.path();
  for (int i = 0; i < 1234; ++i) MakeFile(d + "\\f" + std::to_string(i), 1000);
  Drop({d});
  EXPECT_EQ(Text(IDC_FILE_COUNT), "1,234個");
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "1,234,000バイト");
  Answer({IDYES});
  Press(IDC_DELETE_ALL);
  EXPECT_EQ(Text(IDC_FILE_COUNT), "個");
  EXPECT_EQ(Text(IDC_FILE_TOTAL), "バイト");
}

TEST_F(MainDialogTest, TheEmptyListPaintsTheDropPrompt) {
  Open(kSettings);
  SetForegroundWindow(Dlg());
  RedrawWindow(Item(IDC_FILE_LIST), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Pump(200);
  HWND list = Item(IDC_FILE_LIST);
  RECT client;
  GetClientRect(list, &client);
  HDC dc = GetDC(list);
  // The inner panel's pattern: olive dots where both coordinates are multiples of 4, or both
  // leave 2; light yellow elsewhere. The outer panel is the button face colour.
  EXPECT_EQ(GetPixel(dc, 36, 52), RGB(0x80, 0x80, 0x00));
  EXPECT_EQ(GetPixel(dc, 38, 54), RGB(0x80, 0x80, 0x00));
  EXPECT_EQ(GetPixel(dc, 37, 52), RGB(0xFF, 0xFF, 0x99));
  EXPECT_EQ(GetPixel(dc, 36, 54), RGB(0xFF, 0xFF, 0x99));
  EXPECT_EQ(GetPixel(dc, 24, 40), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(GetPixel(dc, 20, 32), GetSysColor(COLOR_BTNHIGHLIGHT));  // raised outer edge
  EXPECT_EQ(GetPixel(dc, 20, client.bottom - 17), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetPixel(dc, 40, 48), GetSysColor(COLOR_BTNSHADOW));  // sunken inner edge
  // Black text somewhere on the middle line of the inner panel.
  bool text = false;
  for (int x = 32; x < client.right - 32 && !text; ++x) {
    for (int y = (48 + client.bottom - 32) / 2 - 3; y <= (48 + client.bottom - 32) / 2 + 3; ++y)
      text = text || GetPixel(dc, x, y) == RGB(0, 0, 0);
  }
  EXPECT_TRUE(text);
  ReleaseDC(list, dc);

  // With one entry it is an ordinary list again.
  MakeFile(m_dir.path() + "\\one", 1);
  Drop({m_dir.path() + "\\one"});
  Pump(100);
  dc = GetDC(list);
  EXPECT_NE(GetPixel(dc, 36, 100), RGB(0x80, 0x80, 0x00));
  EXPECT_NE(GetPixel(dc, 37, 100), RGB(0xFF, 0xFF, 0x99));
  ReleaseDC(list, dc);
}

namespace {
HWND g_aboutSeen = nullptr;
std::string g_aboutTexts;
void CALLBACK CloseAbout(HWND, UINT, UINT_PTR id, DWORD) {
  HWND about = FindWindowA(nullptr, "バージョン情報 Zumibo");
  if (!about) return;
  KillTimer(nullptr, id);
  g_aboutSeen = about;
  for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) g_aboutTexts += CWnd::WindowText(c) + "|";
  if (!ScreenshotDir().empty()) SaveWindowPicture(about, ScreenshotDir() + "\\about.bmp");
  PostMessageA(about, WM_COMMAND, IDOK, 0);
}
}  // namespace

TEST_F(MainDialogTest, TheSystemMenuOpensTheAboutBox) {
  Open(kSettings);
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseAbout);
  SendMessageA(Dlg(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);  // returns when the About box has closed
  KillTimer(nullptr, timer);
  EXPECT_NE(g_aboutSeen, nullptr);
  EXPECT_NE(g_aboutTexts.find("Zumibo Version 1.01|"), std::string::npos) << g_aboutTexts;
  EXPECT_NE(g_aboutTexts.find("|OK|"), std::string::npos) << g_aboutTexts;
  EXPECT_TRUE(IsWindow(Dlg()));
}

TEST_F(MainDialogTest, HelpOpensTheManualWithItsAssociatedProgram) {
  // A stand-in viewer, registered for .html files, that records its command line.
  const std::string folder = FolderOf(ModuleFileName());
  const std::string viewer = folder + "zumibo_test_viewer.exe";
  const std::string log = folder + "viewer-log.txt";
  const std::string manual = ManualPathBeside(ModuleFileName());
  CreateDirectoryA((folder + "manual").c_str(), nullptr);
  const bool madeManual = GetFileAttributesA(manual.c_str()) == INVALID_FILE_ATTRIBUTES;
  if (madeManual) WriteWinFile(manual, "<html></html>");
  DeleteFileA(log.c_str());
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".html", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  char previous[256] = "";
  DWORD previousSize = sizeof previous;
  const bool hadPrevious = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(previous),
                                            &previousSize) == ERROR_SUCCESS;
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("ZumiboTestViewer"), 17);
  RegCloseKey(key);
  const std::string command = "\"" + viewer + "\" \"%1\"";
  RegSetValueA(HKEY_CLASSES_ROOT, "ZumiboTestViewer\\shell\\open\\command", REG_SZ, command.c_str(),
               static_cast<DWORD>(command.size()));

  Open(kSettings);
  Press(IDC_MANUAL);
  Press(IDC_MANUAL);
  const bool both = PumpUntil(
      [&] {
        const std::string text = ReadWinFile(log);
        return std::count(text.begin(), text.end(), '\n') >= 2;
      },
      15000);

  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".html", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    if (hadPrevious) RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(previous), previousSize);
    else RegDeleteValueA(key, nullptr);
    RegCloseKey(key);
  }
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "ZumiboTestViewer");
  if (madeManual) DeleteFileA(manual.c_str());

  ASSERT_TRUE(both) << ReadWinFile(log);
  const std::string line = ManualCommandLine(viewer, manual) + "\n";
  EXPECT_EQ(ReadWinFile(log), line + line);
  DeleteFileA(log.c_str());
}

TEST_F(MainDialogTest, NamesAndPathsTheNarrowFileFunctionsCannotOpenAreNotListed) {
  // Made on the Linux side by the test driver: café.bin (3 bytes) beside a real cafe.bin
  // (4 bytes), an emoji name, ok.bin, and in a folder of 200 letters a short name and one that
  // takes the path past what the narrow file functions accept.
  const char* fixture = std::getenv("ZUMIBO_NAMES_FIXTURE");
  if (!fixture) GTEST_SKIP() << "ZUMIBO_NAMES_FIXTURE is not set";
  Open(kSettings);
  Drop({fixture});
  std::vector<std::string> listed;
  for (const Row& r : Rows(IDC_FILE_LIST)) listed.push_back(r.name + " " + r.size);
  EXPECT_EQ(listed, (std::vector<std::string>{"short.bin 5バイト", "cafe.bin 4バイト", "ok.bin 2バイト"}));
  // One notice names what was left out, once the list shows the rest: café.bin as the code page
  // shows it (a question mark, never the look-alike that names cafe.bin), and the long path
  // shortened.
  ASSERT_EQ(m_boxes.size(), 1u);
  const auto notice = [](std::size_t count) {
    return std::to_string(count) +
           "個のファイルまたはフォルダは、名前に Shift_JIS（コードページ 932）で書けない文字があるか、"
           "パスが長すぎるか、読めないため、一覧に入れていません。\n\n";
  };
  EXPECT_EQ(m_boxes[0].text.rfind(notice(3), 0), 0u) << m_boxes[0].text;
  EXPECT_NE(m_boxes[0].text.find(std::string(fixture) + "\\caf?.bin\n"), std::string::npos) << m_boxes[0].text;
  EXPECT_NE(m_boxes[0].text.find("…nnn"), std::string::npos) << m_boxes[0].text;
  EXPECT_NE(m_boxes[0].text.find("nnn.bin\n"), std::string::npos) << m_boxes[0].text;
  EXPECT_EQ(m_boxes[0].caption, AppTitle());
  EXPECT_EQ(m_boxes[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(m_boxes[0].fileRows, 3);
  // A drop with nothing left out says nothing.
  Drop({std::string(fixture) + "\\ok.bin"});
  EXPECT_EQ(m_boxes.size(), 1u);

  // Dropped by the shell in UTF-16: café.bin has no name in the code page and adds nothing, while
  // a name it holds is taken as it is.
  Answer({IDYES});
  Press(IDC_DELETE_ALL);
  std::wstring wideFolder(std::strlen(fixture), L'\0');
  MultiByteToWideChar(CP_ACP, 0, fixture, -1, wideFolder.data(), static_cast<int>(wideFolder.size()));
  DropWide({wideFolder + L"\\caf\u00e9.bin", wideFolder + L"\\ok.bin"});
  EXPECT_EQ(Names(IDC_FILE_LIST), (std::vector<std::string>{"ok.bin"}));
  ASSERT_EQ(m_boxes.size(), 3u);
  EXPECT_EQ(m_boxes[2].text.rfind(notice(1) + fixture + "\\caf?.bin\n\n", 0), 0u) << m_boxes[2].text;
  EXPECT_EQ(m_boxes[2].fileRows, 1);
  // And a path that is gone by the time it is dropped.
  Drop({m_dir.path() + "\\消えた"});
  ASSERT_EQ(m_boxes.size(), 4u);
  EXPECT_EQ(m_boxes[3].text.rfind(notice(1) + m_dir.path() + "\\消えた\n\n", 0), 0u) << m_boxes[3].text;
}

TEST_F(MainDialogTest, ColumnsFitTheirWidestTextAfterManyOfNearlyTheSameWidth) {
  Open(kSettings);
  // Twenty names of one width (the same letters in other orders), then, last in the list, one a
  // pixel or three wider: the column must fit that one, as the list's own sizing does.
  HWND list = Item(IDC_FILE_LIST);
  const auto width = [&](const std::string& text) {
    return static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
  };
  std::string base = "abcdefghijklmnopqrstu";
  std::string wider;
  for (char c = 'a'; c <= 'z' && wider.empty(); ++c) {
    const std::string candidate = base.substr(0, base.size() - 1) + c;
    const int extra = width(candidate) - width(base);
    if (extra >= 1 && extra <= 3) wider = candidate;
  }
  ASSERT_FALSE(wider.empty());
  std::vector<std::string> paths;
  for (int i = 0; i < 20; ++i) {
    std::next_permutation(base.begin(), base.end());
    paths.push_back(m_dir.path() + "\\" + base);
    MakeFile(paths.back(), 100);
  }
  paths.push_back(m_dir.path() + "\\" + wider);
  MakeFile(paths.back(), 1);
  Drop(paths);
  ASSERT_EQ(Names(IDC_FILE_LIST).back(), wider);
  const int fitted = ColumnWidth(IDC_FILE_LIST, 0);
  SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  EXPECT_EQ(fitted, ColumnWidth(IDC_FILE_LIST, 0));
}

TEST_F(MainDialogTest, AnOleMessageFilterRetriesABusyDropTarget) {
  Open(kSettings);
  IMessageFilter* filter = nullptr;
  ASSERT_EQ(CoRegisterMessageFilter(nullptr, &filter), S_OK);
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), kOleRetryDelay);
  EXPECT_EQ(filter->RetryRejectedCall(nullptr, kOleBusyTimeout, SERVERCALL_RETRYLATER), static_cast<DWORD>(-1));
  EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED), static_cast<DWORD>(-1));
  EXPECT_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr),
            static_cast<DWORD>(SERVERCALL_ISHANDLED));
  CoRegisterMessageFilter(filter, nullptr);
}

TEST_F(MainDialogTest, ColumnsAddUpToTheListWidthWithAndWithoutAVerticalScrollBar) {
  Open(kSettings);
  // One more row at a time, the vertical scroll bar comes in on the way: neither list may then
  // have a horizontal one, nor a blank strip at its right.
  bool scrolled[2] = {}, plain[2] = {};
  const auto fills = [&](int id, int rows) {
    HWND list = Item(id);
    RECT client;
    GetClientRect(list, &client);
    EXPECT_EQ(ColumnWidth(id, 0) + ColumnWidth(id, 1) + ColumnWidth(id, 2), client.right) << id << ", " << rows;
    const LONG_PTR style = GetWindowLongPtrA(list, GWL_STYLE);
    EXPECT_FALSE(style & WS_HSCROLL) << id << ", " << rows << " rows";
    ((style & WS_VSCROLL) ? scrolled : plain)[id == IDC_RESULT_LIST] = true;
  };
  const auto all = [&](int id) {
    std::vector<int> rows(static_cast<std::size_t>(SendMessageA(Item(id), LVM_GETITEMCOUNT, 0, 0)));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    return rows;
  };
  for (int n = 1; n <= 12; ++n) {
    const std::string path = m_dir.path() + "\\IMG_" + std::to_string(1000 + n) + ".jpg";
    MakeFile(path, 1000 + n);
    Drop({path});
    fills(IDC_FILE_LIST, n);
    Select(IDC_FILE_LIST, all(IDC_FILE_LIST));
    Press(IDC_MOVE_TO_RESULTS);
    fills(IDC_RESULT_LIST, n);
    Select(IDC_RESULT_LIST, all(IDC_RESULT_LIST));
    Press(IDC_MOVE_TO_FILES);
    fills(IDC_FILE_LIST, n);
  }
  EXPECT_TRUE(scrolled[0] && scrolled[1] && plain[0] && plain[1]);
}
