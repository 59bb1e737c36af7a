#pragma once
// UTF-16 names from the system, in the program's code page.

#include <string>
#include <string_view>

/// The text in the program's code page when that code page holds it exactly: no character
/// replaced by a look-alike or a question mark, so that the narrow text names what the UTF-16
/// text names and no other file.
bool NarrowExactly(std::wstring_view text, std::string& narrow);

/// The text in the program's code page for showing it: each character the code page cannot hold
/// becomes a question mark (which no file name holds), never a look-alike.
std::string NarrowAsShown(std::wstring_view text);
