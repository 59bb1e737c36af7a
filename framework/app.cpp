#include "framework/app.h"

#include <new>
#include <vector>

#include "framework/dialog.h"
#include "framework/message_box.h"

namespace {

CWinApp* g_app = nullptr;
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslateDialogMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetResourceHandle() { return GetModuleHandleA(nullptr); }

std::string ModuleFileName() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size() - 1) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768 * 2) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

namespace {

// The name after the last backslash, found character by character in the system's code page, so
// that the second byte of a double-byte character (ソ is 83 5C) is never taken for one.
std::string FileNameOf(const std::string& path) {
  const char* name = path.c_str();
  for (const char* at = path.c_str(); *at; at = CharNextA(at)) {
    if (*at == '\\') name = at + 1;
  }
  return name;
}

}  // namespace

const std::string& AppTitle() {
  static const std::string title = [] {
    std::string name = FileNameOf(ModuleFileName());
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
  }();
  return title;
}

void ReportException(HWND owner) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory(owner);
  } catch (...) {
    AppMessageBox(owner, "予期しないエラーが発生しました。", nullptr, MB_OK | MB_ICONSTOP);
  }
}

void ReportOutOfMemory(HWND owner) { AppMessageBox(owner, "メモリが不足しています。", nullptr, MB_OK | MB_ICONSTOP); }

int AppMessageBox(HWND owner, const std::string& text, const char* caption, UINT type) {
  const std::string title = caption ? caption : AppTitle();
  if (Handler()) return Handler()(owner, text, title, type);
  return MessageBoxA(owner, text.c_str(), title.c_str(), type);
}

void SetMessageBoxHandler(MessageBoxHandler handler) { Handler() = std::move(handler); }
