#include "app/win/main_dialog.h"

#include <algorithm>

#include "app/win/settings_path.h"
#include "files/file_sets.h"
#include "files/size_text.h"
#include "framework/app.h"
#include "framework/dpi.h"
#include "framework/ole.h"
#include "res/resource.h"
#include "search/win/search_thread.h"

namespace {

// The client area never gets narrower than this, and its height is held at exactly this.
constexpr int kMinClientWidth = 557;
constexpr int kClientHeight = 386;
// The exit button keeps this distance from the right and bottom edges of the client area.
constexpr int kExitMargin = 12;
// The lists are this much narrower than the client area.
constexpr int kListMargin = 24;
// Every length above is for 96 DPI: the window scales them to its own.

// Posted to itself after a DPI change, to lay out again once the dialog manager is done.
constexpr UINT kRelayoutMessage = WM_APP + 1;

const int kResultPanel[] = {IDC_RESULT_CAPTION, IDC_RESULT_LIMIT_CAPTION, IDC_RESULT_TOTAL,
                            IDC_RESULT_LIMIT,   IDC_DRAG_TARGET,          IDC_DRAG_HINT};

const char* const kColumns[] = {"ファイル名", "ファイルの場所", "サイズ"};

}  // namespace

CMainDialog::CMainDialog(HWND parent)
    : CDialog(IDD_MAIN, parent), m_hIcon(LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_targetPictureId(IDB_DRAG_TARGET), m_progress(nullptr) {
  LoadSettings(GetSettingsPath(), m_settings);
}

CMainDialog::~CMainDialog() {
  // A WM_QUIT ends the dialog's loop even while a computation runs: the worker stops before
  // anything it reads goes.
  if (Computing()) StopWorker();
  if (m_worker) CloseHandle(m_worker);
  SaveSettings(GetSettingsPath(), m_settings);
  if (m_targetPicture) DeleteObject(m_targetPicture);
  for (HICON icon : m_iconsForDpi) {
    if (icon) DestroyIcon(icon);
  }
}

void CMainDialog::DoDataExchange() {
  m_fileList.SubclassWindow(Item(IDC_FILE_LIST));
  m_resultList.Attach(Item(IDC_RESULT_LIST));
  m_capacityEdit.Attach(Item(IDC_CAPACITY));
  m_dragTarget.SubclassWindow(Item(IDC_DRAG_TARGET));
}

BOOL CMainDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_dpi = DpiOf(m_hWnd);
  AfxOleInit();  // for the drag-out; a failure only disables that

  if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
    char about[256] = "";
    if (LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof about) > 0 && about[0]) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  SetIcon(m_hIcon, false);
  SetIcon(m_hIcon, true);

  g_sourceSet.RemoveAll();
  for (const CListCtrl* list :
       {static_cast<const CListCtrl*>(&m_fileList), static_cast<const CListCtrl*>(&m_resultList)}) {
    for (int c = 0; c < 3; ++c) list->InsertColumn(c, kColumns[c]);
  }
  m_fileList.Refill();  // the empty list's columns as wide as their headings, not squeezed to nothing
  ShowResultPanel(false);
  OnPreviousValue();  // also runs the capacity change handling
  SetItemText(IDC_MAX_COUNT, m_settings[kMaxCountSetting]);
  UsePicturesForDpi();
  // At 96 DPI the template's own layout holds until the first size change.
  if (m_dpi != USER_DEFAULT_SCREEN_DPI) OnRelayout();
  ShowWindow(m_hWnd, SW_SHOW);
  return TRUE;
}

bool CMainDialog::OnMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
  static constexpr MessageEntry<CMainDialog> kTable[] = {
      WmSysCommand<&CMainDialog::OnSysCommand>(),
      WmNotify<&CMainDialog::OnNotify>(),
      WmPaint<&CMainDialog::OnPaint>(),
      WmQueryDragIcon<&CMainDialog::OnQueryDragIcon>(),
      Command<&CMainDialog::OnDeleteAll>(IDC_DELETE_ALL),
      Command<&CMainDialog::OnDeleteSelected>(IDC_DELETE_SELECTED),
      Command<&CMainDialog::OnPresetCd650>(IDC_PRESET_CD650),
      Command<&CMainDialog::OnPresetCd700>(IDC_PRESET_CD700),
      Command<&CMainDialog::OnPresetDvd>(IDC_PRESET_DVD),
      Command<&CMainDialog::OnExit>(IDOK),
      Command<&CMainDialog::OnPreviousValue>(IDC_PREVIOUS_VALUE),
      Command<&CMainDialog::OnCompute>(IDC_COMPUTE),
      Command<&CMainDialog::OnCapacityChange>(IDC_CAPACITY, EN_CHANGE),
      Command<&CMainDialog::OnMoveToFiles>(IDC_MOVE_TO_FILES),
      Command<&CMainDialog::OnMoveToResults>(IDC_MOVE_TO_RESULTS),
      WmGetMinMaxInfo<&CMainDialog::OnGetMinMaxInfo>(),
      WmSize<&CMainDialog::OnSize>(),
      Command<&CMainDialog::OnManual>(IDC_MANUAL),
      WmDpiChanged<&CMainDialog::OnDpiChanged>(),
      OwnMessage<&CMainDialog::OnRelayout>(kRelayoutMessage),
      OwnMessage<&CMainDialog::OnSearchDone>(kSearchDoneMessage),
  };
  return DispatchTable(*this, kTable, message, w, l, result);
}

BOOL CMainDialog::OnCommand(UINT id, UINT code) {
  // The running computation owns the candidate array and the result set until it has ended.
  // The disabled window keeps the user's hands off, but another program can still send
  // commands: nothing may end the dialog or touch a file set meanwhile.
  if (Computing() && ChangesTheSets(id)) return TRUE;
  return CDialog::OnCommand(id, code);
}

bool CMainDialog::ChangesTheSets(int command) {
  switch (command) {
    case IDOK:
    case IDCANCEL:
    case IDC_DELETE_ALL:
    case IDC_DELETE_SELECTED:
    case IDC_PRESET_CD650:
    case IDC_PRESET_CD700:
    case IDC_PRESET_DVD:
    case IDC_PREVIOUS_VALUE:
    case IDC_CAPACITY:
    case IDC_MOVE_TO_FILES:
    case IDC_MOVE_TO_RESULTS:
      return true;
    default:
      return false;
  }
}

void CMainDialog::OnExit() {
  m_settings[kPreviousSetting] = m_capacityEdit.GetText();
  m_settings[kMaxCountSetting] = GetItemText(IDC_MAX_COUNT);
  CDialog::OnOK();
}

void CMainDialog::EnableWhenIdle() { EnableWindow(m_hWnd, m_candidates ? FALSE : TRUE); }

bool CMainDialog::OnNotify(const NMHDR& header, LRESULT& result) {
  return m_fileList.OnParentNotify(header, result) || m_resultList.OnParentNotify(header, result);
}

bool CMainDialog::OnPaint() {
  if (!IsIconic(m_hWnd)) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  if (!dc) return true;
  Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
  RECT r = {};
  GetClientRect(m_hWnd, &r);
  const int x = (r.right - r.left - MetricForDpi(SM_CXICON, m_dpi) + 1) / 2;
  const int y = (r.bottom - r.top - MetricForDpi(SM_CYICON, m_dpi) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &ps);
  return true;
}

void CMainDialog::OnPreset(int setting) { m_capacityEdit.SetText(m_settings[setting]); }

void CMainDialog::OnPreviousValue() { m_capacityEdit.SetText(m_settings[kPreviousSetting]); }

void CMainDialog::OnCapacityChange() {
  g_resultSet.RemoveAll();
  ShowResultPanel(false);
  RefreshResultPanel();
}

void CMainDialog::ShowResultPanel(bool show) {
  for (int id : kResultPanel) ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE);
}

void CMainDialog::RefreshResultPanel() {
  const std::int64_t total = m_resultList.ShowRows(g_resultSet);
  ShowResultPanel(g_resultSet.GetCount() != 0);
  SetItemText(IDC_RESULT_TOTAL, FormatNumber(total, true) + "バイト");
}

void CMainDialog::RefreshFileLabels() {
  int count = 0;
  std::int64_t total = 0;
  for (g_sourceSet.ResetCursor(true); const FileEntry* e = g_sourceSet.GetCurrent(); g_sourceSet.MoveNext()) {
    total += e->size;
    ++count;
  }
  SetItemText(IDC_FILE_COUNT, FormatNumber(count, true) + "個");
  SetItemText(IDC_FILE_TOTAL, FormatNumber(total, true) + "バイト");
}

int CMainDialog::Scaled(int pixels) const { return ::Scaled(pixels, m_dpi); }

void CMainDialog::OnGetMinMaxInfo(MINMAXINFO& info) {
  if (!m_hWnd) return;
  RECT window, client;
  if (!GetWindowRect(m_hWnd, &window) || !GetClientRect(m_hWnd, &client)) return;
  // A minimised window, and one being restored until it has its size back, has no client area:
  // the difference between its rectangles is not the frame, and limits taken from it would
  // restore the window larger than it was.
  if (IsIconic(m_hWnd) || client.right == 0 || client.bottom == 0) return;
  const int dx = (window.right - window.left) - (client.right - client.left);
  const int dy = (window.bottom - window.top) - (client.bottom - client.top);
  if (dx != 0 && dy != 0) {
    info.ptMinTrackSize.x = dx + Scaled(kMinClientWidth);
    info.ptMinTrackSize.y = dy + Scaled(kClientHeight);
    info.ptMaxTrackSize.y = dy + Scaled(kClientHeight);
  }
}

void CMainDialog::OnSize(UINT type, SIZE client) {
  // A minimised window reports 0 x 0; laying out for that would leave negative sizes behind.
  if (type == SIZE_MINIMIZED || (client.cx == 0 && client.cy == 0)) return;
  LayOut(client.cx, client.cy);
}

void CMainDialog::LayOut(int cx, int cy) {
  if (!m_hWnd || !m_fileList.GetSafeHwnd() || !m_resultList.GetSafeHwnd()) return;
  for (const CFileRowsList* list :
       {static_cast<const CFileRowsList*>(&m_fileList), static_cast<const CFileRowsList*>(&m_resultList)}) {
    RECT r;
    if (!GetWindowRect(*list, &r)) continue;
    SetWindowPos(*list, nullptr, 0, 0, cx - Scaled(kListMargin), r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    list->FillLastColumn();  // the columns still add up to the list's width
    RedrawWindow(*list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }
  RECT r;
  if (HWND exit = Item(IDOK); exit && GetWindowRect(exit, &r)) {
    // The button's old picture is not copied along: the dialog's background is painted over the
    // area the window grew by after this, so the button must paint itself there afterwards.
    SetWindowPos(exit, nullptr, cx - (r.right - r.left) - Scaled(kExitMargin),
                 cy - (r.bottom - r.top) - Scaled(kExitMargin), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOCOPYBITS);
    InvalidateRect(exit, nullptr, TRUE);
  }
}

// The template, placed as at 96 DPI and scaled, has the rules' size already, unless its font
// is another than the one it was laid out for.
void CMainDialog::ConformToLayout() {
  RECT window, client;
  if (!GetWindowRect(m_hWnd, &window) || !GetClientRect(m_hWnd, &client)) return;
  const int cx = std::max<int>(client.right, Scaled(kMinClientWidth)), cy = Scaled(kClientHeight);
  if (cx == client.right && cy == client.bottom) return;
  SetWindowPos(m_hWnd, nullptr, 0, 0, (window.right - window.left) - client.right + cx,
               (window.bottom - window.top) - client.bottom + cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainDialog::UsePicturesForDpi() {
  m_fileList.SetDpi(m_dpi);
  const int id = PictureForDpi(m_dpi, IDB_DRAG_TARGET, IDB_DRAG_TARGET_150, IDB_DRAG_TARGET_200);
  if (id == m_targetPictureId) return;
  HBITMAP picture = LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
  if (!picture) return;
  // The static takes the picture's size; the one it loaded from the template stays its own.
  m_dragTarget.Send(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
  if (m_targetPicture) DeleteObject(m_targetPicture);
  m_targetPicture = picture;
  m_targetPictureId = id;
}

void CMainDialog::UseIconsForDpi() {
  for (int big = 0; big < 2; ++big) {
    const int cx = MetricForDpi(big ? SM_CXICON : SM_CXSMICON, m_dpi),
              cy = MetricForDpi(big ? SM_CYICON : SM_CYSMICON, m_dpi);
    auto* icon =
        static_cast<HICON>(LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, cx, cy, 0));
    if (!icon) continue;
    SetIcon(icon, big != 0);
    if (big) m_hIcon = icon;
    if (m_iconsForDpi[big]) DestroyIcon(m_iconsForDpi[big]);
    m_iconsForDpi[big] = icon;
  }
}

bool CMainDialog::OnDpiChanged(UINT dpi, const RECT& suggested) {
  m_dpi = dpi;
  UsePicturesForDpi();
  UseIconsForDpi();
  SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageA(m_hWnd, kRelayoutMessage, 0, 0);
  return false;  // the dialog manager rescales the font and the template's controls
}

void CMainDialog::OnRelayout() {
  RECT client;
  if (IsIconic(m_hWnd)) return;
  PlaceAsAt96(m_dpi);
  ConformToLayout();
  if (GetClientRect(m_hWnd, &client)) LayOut(client.right, client.bottom);
  m_fileList.FitRows();
  m_resultList.FitRows();  // during a computation it shows no rows
}
