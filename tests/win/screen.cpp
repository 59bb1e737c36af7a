#include "tests/win/screen.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The screen's pixels in the rectangle, bottom row first, as 24-bit rows padded to 4 bytes.
std::vector<unsigned char> ScreenPixels(const RECT& r, BITMAPINFOHEADER& info) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  info = {};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (w * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<size_t>(stride) * h);
  GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::string& path) {
  RECT r;
  if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return false;
  BITMAPINFOHEADER info;
  const std::vector<unsigned char> pixels = ScreenPixels(r, info);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fwrite(&file, sizeof file, 1, f);
  std::fwrite(&info, sizeof info, 1, f);
  std::fwrite(pixels.data(), 1, pixels.size(), f);
  return std::fclose(f) == 0;
}

int DarkPixels(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return 0;
  BITMAPINFOHEADER info;
  const std::vector<unsigned char> pixels = ScreenPixels(r, info);
  const int stride = (info.biWidth * 3 + 3) & ~3;
  int dark = 0;
  for (int y = 0; y < info.biHeight; ++y) {
    const unsigned char* p = pixels.data() + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < info.biWidth; ++x, p += 3) dark += p[0] + p[1] + p[2] < 3 * 64;
  }
  return dark;
}

std::string ScreenshotDir() {
  const char* dir = std::getenv("ZUMIBO_SCREENSHOT_DIR");
  return dir ? dir : "";
}

bool StartInItsFolder(const std::string& exe, PROCESS_INFORMATION& started) {
  const std::string folder = exe.substr(0, exe.rfind('\\'));
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  started = {};
  std::string commandLine = "\"" + exe + "\"";
  return CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &started) != FALSE;
}

HWND FindProcessWindow(DWORD pid, const char* caption) {
  HWND found = nullptr;
  for (HWND w = FindWindowA(nullptr, caption); w; w = FindWindowExA(nullptr, w, nullptr, caption)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid && IsWindowVisible(w)) found = w;
  }
  return found;
}
