#include "app/file_replace.h"

#include <cstdio>
#include <unistd.h>

bool ReplaceFileWith(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string TemporaryNameBeside(const std::string& path) {
  return path + "." + std::to_string(static_cast<long>(getpid())) + ".tmp";
}
