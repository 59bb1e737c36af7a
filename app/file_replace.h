#pragma once
// The file-system calls the settings file needs beyond the C library, per platform.

#include <string>

/// Moves the file `from` over `to`, replacing `to` if it exists, as one step where the platform
/// allows it. False (and both files as they were) on failure.
bool ReplaceFileWith(const std::string& from, const std::string& to);

/// A name for a temporary file beside `path` that no other running process of ours uses.
std::string TemporaryNameBeside(const std::string& path);

/// Whether the path is a link (on Windows any reparse point): replacing it would put a plain
/// file where the link was.
bool IsLink(const std::string& path);
