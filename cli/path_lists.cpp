#include "cli/path_lists.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The current folder, looked up once: relative sources are written below it.
const std::string& CurrentFolder() {
  static const std::string folder = [] {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
  }();
  return folder;
}

void AppendEscaped(const std::string& text, std::string& line) {
  for (char c : text) {
    if (c == '=' || c == '\\') line += '\\';
    line += c;
  }
}

}  // namespace

bool GraftLine(const DiscFile& file, std::string& line) {
  const std::string& disc = file.onDisc;
  const std::string& source = file.source;
  if (disc.empty() || source.empty() || disc.back() == '\\' || source.back() == '\r') return false;
  line.clear();
  AppendEscaped(disc, line);
  line += '=';
  if (source[0] != '/' && !CurrentFolder().empty()) {
    AppendEscaped(CurrentFolder(), line);
    if (line.back() != '/') line += '/';
    AppendEscaped(source.compare(0, 2, "./") == 0 ? source.substr(2) : source, line);
  } else {
    AppendEscaped(source, line);
  }
  // A newline anywhere, the current folder's included, would end the line early.
  return line.find('\n') == std::string::npos && line.size() <= kLongestGraftLine;
}

bool ListedSource(const std::string& source, std::string& listed, std::string& why) {
  struct stat st;
  if (lstat(source.c_str(), &st) != 0) return why = "cannot read " + source + ": " + std::strerror(errno), false;
  if (!S_ISLNK(st.st_mode)) {
    listed = source;
    return true;
  }
  char* target = realpath(source.c_str(), nullptr);
  if (!target) return why = "cannot read " + source + ": " + std::strerror(errno), false;
  listed = target;
  std::free(target);
  return true;
}

bool ListText(const std::vector<DiscFile>& files, std::string& text, std::vector<const DiscFile*>& left,
              std::string& why) {
  text.clear();
  std::string line;
  for (const DiscFile& f : files) {
    DiscFile listed = f;
    if (!ListedSource(f.source, listed.source, why)) return false;
    if (GraftLine(listed, line)) {
      text += line;
      text += '\n';
    } else {
      left.push_back(&f);
    }
  }
  return true;
}
