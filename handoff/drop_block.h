#pragma once
// The shell's file-drop data (CF_HDROP): a DROPFILES header, then every path with its zero byte,
// then one more zero byte. Narrow paths (fWide 0), code page 932 bytes as stored.

#include <cstddef>

class FileSet;

/// 20 + the sum of (path length + 1) over the entries + 1.
std::size_t DropBlockSize(FileSet& files);

/// Writes the whole block for the entries, head to tail, into `out` (DropBlockSize bytes).
void WriteDropBlock(FileSet& files, unsigned char* out);
