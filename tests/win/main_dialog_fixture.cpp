#include "tests/win/main_dialog_fixture.h"

#include <shlobj.h>

#include <cstring>
#include <ostream>

#include "app/win/settings_path.h"
#include "files/file_sets.h"
#include "framework/message_box.h"
#include "res/resource.h"

std::ostream& operator<<(std::ostream& out, const Row& r) {
  return out << "{" << r.name << " | " << r.folder << " | " << r.size << "}";
}

void MainDialogTest::SetUp() {
  m_settingsPath = GetSettingsPath();
  SetMessageBoxHandler([this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
    EXPECT_EQ(owner, m_dialog ? Dlg() : nullptr) << text;
    m_boxes.push_back({text, caption, type,
                       m_dialog ? static_cast<int>(SendMessageA(Item(IDC_FILE_LIST), LVM_GETITEMCOUNT, 0, 0)) : 0});
    if (m_answers.empty()) return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
  });
}

void MainDialogTest::TearDown() {
  if (m_dialog) {
    PumpUntil([&] { return !m_dialog->Computing(); }, 30000);
    m_dialog.reset();
  }
  SetMessageBoxHandler(nullptr);
  DeleteFileA(m_settingsPath.c_str());
  g_sourceSet.RemoveAll();
  g_resultSet.RemoveAll();
  g_pinnedSet.RemoveAll();
}

void MainDialogTest::Open(const char* settingsFile) {
  DeleteFileA(m_settingsPath.c_str());
  if (settingsFile) WriteWinFile(m_settingsPath, settingsFile);
  m_dialog = std::make_unique<CMainDialog>();
  ASSERT_TRUE(m_dialog->Create(IDD_MAIN, nullptr));
  Pump();
}

std::string MainDialogTest::CloseAndReadSettings() {
  m_dialog.reset();
  return ReadWinFile(m_settingsPath);
}

void MainDialogTest::Press(int id) {
  SendMessageA(Dlg(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

std::string MainDialogTest::Text(int id) const { return CWnd::WindowText(Item(id)); }

namespace {

template <typename Char>
HGLOBAL DropBlock(const std::vector<std::basic_string<Char>>& paths) {
  std::size_t size = sizeof(DROPFILES) + sizeof(Char);
  for (const auto& p : paths) size += (p.size() + 1) * sizeof(Char);
  HGLOBAL h = GlobalAlloc(GHND, size);
  auto* df = static_cast<DROPFILES*>(GlobalLock(h));
  df->pFiles = sizeof(DROPFILES);
  df->fWide = sizeof(Char) == sizeof(wchar_t);
  auto* out = reinterpret_cast<Char*>(reinterpret_cast<char*>(df) + sizeof(DROPFILES));
  for (const auto& p : paths) {
    std::memcpy(out, p.c_str(), (p.size() + 1) * sizeof(Char));
    out += p.size() + 1;
  }
  GlobalUnlock(h);
  return h;
}

}  // namespace

HGLOBAL MakeDropBlock(const std::vector<std::string>& paths) { return DropBlock(paths); }
HGLOBAL MakeDropBlock(const std::vector<std::wstring>& paths) { return DropBlock(paths); }

// The program frees the drop handle (DragFinish), as every drop target must.
void MainDialogTest::Drop(const std::vector<std::string>& paths) {
  SendMessageA(Item(IDC_FILE_LIST), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
}

void MainDialogTest::DropWide(const std::vector<std::wstring>& paths) {
  SendMessageA(Item(IDC_FILE_LIST), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropBlock(paths)), 0);
}

std::vector<Row> MainDialogTest::Rows(int list) const {
  std::vector<Row> rows;
  HWND h = Item(list);
  const int count = static_cast<int>(SendMessageA(h, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    Row r;
    for (int c = 0; c < 3; ++c) {
      char buffer[1024] = "";
      LVITEMA item = {};
      item.iSubItem = c;
      item.pszText = buffer;
      item.cchTextMax = sizeof buffer;
      SendMessageA(h, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
      (c == 0 ? r.name : c == 1 ? r.folder : r.size) = buffer;
    }
    rows.push_back(r);
  }
  return rows;
}

std::vector<std::string> MainDialogTest::Names(int list) const {
  std::vector<std::string> names;
  for (const Row& r : Rows(list)) names.push_back(r.name);
  return names;
}

void MainDialogTest::Select(int list, const std::vector<int>& rows) {
  LVITEMA none = {};
  none.stateMask = LVIS_SELECTED;
  SendMessageA(Item(list), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  for (int row : rows) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageA(Item(list), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }
}

int MainDialogTest::ColumnWidth(int list, int column) const {
  return static_cast<int>(SendMessageA(Item(list), LVM_GETCOLUMNWIDTH, column, 0));
}

void MakeFile(const std::string& path, std::int64_t size) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  LARGE_INTEGER at;
  at.QuadPart = size;
  SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
  SetEndOfFile(h);
  CloseHandle(h);
}

void MakeFolder(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path; }
