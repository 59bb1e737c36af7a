#include "files/narrow_win32.h"

#include <windows.h>

bool NarrowExactly(std::wstring_view text, std::string& narrow) {
  const int length = static_cast<int>(text.size());
  BOOL replaced = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, nullptr, &replaced);
  if (n <= 0 || replaced) return false;
  narrow.assign(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, narrow.data(), n, nullptr, &replaced);
  if (replaced) return false;
  // And back: the code page's own conversion must give the same characters.
  std::wstring back(text.size(), L'\0');
  return MultiByteToWideChar(CP_ACP, 0, narrow.data(), n, back.data(), length) == length && back == text;
}

std::string NarrowAsShown(std::wstring_view text) {
  const int length = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, "?", nullptr);
  std::string narrow(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, narrow.data(), n, "?", nullptr);
  return narrow;
}
