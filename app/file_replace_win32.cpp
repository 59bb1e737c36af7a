#include "app/file_replace.h"

#include <windows.h>

bool ReplaceFileWith(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::string TemporaryNameBeside(const std::string& path) {
  return path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
}
