#include "app/manual.h"

#include "files/cp932.h"

std::string ManualPathBeside(const std::string& executablePath) {
  return FolderOf(executablePath) + "manual\\index.html";
}

std::string ManualCommandLine(const std::string& program, const std::string& manual) {
  return "\"" + program + "\" \"" + manual + "\"";
}
