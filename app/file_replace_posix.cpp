#include "app/file_replace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

bool ReplaceFileWith(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string TemporaryNameBeside(const std::string& path) {
  return path + "." + std::to_string(static_cast<long>(getpid())) + ".tmp";
}

bool IsLink(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}
