#pragma once
// Every message box of the program goes through here, so that tests can answer it.

#include <windows.h>

#include <functional>
#include <string>

/// Shows a message box owned by `owner`; a null caption shows the application title.
int AppMessageBox(HWND owner, const std::string& text, const char* caption, UINT type);

/// Replaces the real message box (tests record the text and caption and give the answer);
/// an empty function puts the real one back.
using MessageBoxHandler =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
