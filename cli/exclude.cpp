#include "cli/exclude.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

// A set of characters, "[...]" at the start of `glob`: whether `c` is in it, and its length.
bool InSet(std::string_view glob, char c, std::size_t& length) {
  std::size_t i = 1;
  const bool negated = i < glob.size() && (glob[i] == '!' || glob[i] == '^');
  if (negated) ++i;
  bool found = false;
  for (bool first = true; i < glob.size() && (first || glob[i] != ']'); first = false) {
    char lo = glob[i];
    if (lo == '\\' && i + 1 < glob.size()) lo = glob[++i];
    char hi = lo;
    if (i + 2 < glob.size() && glob[i + 1] == '-' && glob[i + 2] != ']') {
      hi = glob[i + 2];
      i += 2;
    }
    if (static_cast<unsigned char>(c) >= static_cast<unsigned char>(lo) &&
        static_cast<unsigned char>(c) <= static_cast<unsigned char>(hi))
      found = true;
    ++i;
  }
  if (i >= glob.size()) {  // no closing bracket: the bracket is a character of its own
    length = 1;
    return c == '[';
  }
  length = i + 1;
  return found != negated;
}

// Whether `text` matches the glob as a whole, or with `prefix`, whether some text that begins
// with `text` does.
bool Match(std::string_view glob, std::string_view text, bool prefix) {
  if (glob.empty()) return text.empty();
  if (prefix && text.empty()) return true;
  if (glob[0] == '*') {
    const bool crosses = glob.size() > 1 && glob[1] == '*';
    std::string_view rest = glob.substr(crosses ? 2 : 1);
    for (std::size_t i = 0;; ++i) {
      if (Match(rest, text.substr(i), prefix)) return true;
      if (i == text.size() || (!crosses && text[i] == '/')) return false;
    }
  }
  if (text.empty()) return false;
  if (glob[0] == '?') return text[0] != '/' && Match(glob.substr(1), text.substr(1), prefix);
  if (glob[0] == '[') {
    std::size_t length = 0;
    return text[0] != '/' && InSet(glob, text[0], length) && Match(glob.substr(length), text.substr(1), prefix);
  }
  std::size_t skip = 1;
  char literal = glob[0];
  if (literal == '\\' && glob.size() > 1) {
    literal = glob[1];
    skip = 2;
  }
  return literal == text[0] && Match(glob.substr(skip), text.substr(1), prefix);
}

}  // namespace

bool GlobMatch(std::string_view glob, std::string_view text) {
  // A text without the glob's literal end ("*.nef") is settled at once: most are, in a search.
  std::size_t literal = glob.size();
  for (char c; literal > 0 && (c = glob[literal - 1]) != '*' && c != '?' && c != '[' && c != ']' && c != '\\';)
    --literal;
  const std::string_view end = glob.substr(literal);
  if (end.size() > text.size() || text.substr(text.size() - end.size()) != end) return false;
  return Match(glob, text, false);
}

bool Excludes::Add(std::string_view pattern) {
  Pattern p;
  if (!pattern.empty() && pattern.back() == '/') {
    p.folderOnly = true;
    pattern.remove_suffix(1);
  }
  if (!pattern.empty() && pattern.front() == '/') {
    p.anchored = p.wholePath = true;
    pattern.remove_prefix(1);
  }
  if (pattern.empty()) return false;
  p.wholePath =
      p.wholePath || pattern.find('/') != std::string_view::npos || pattern.find("**") != std::string_view::npos;
  p.glob = pattern;
  m_patterns.push_back(std::move(p));
  return true;
}

bool Excludes::ReadFrom(const std::string& file, std::string& why) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    why = "cannot read " + file + ": " + std::strerror(errno);
    return false;
  }
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    Add(line);
  }
  return true;
}

bool Excludes::Excluded(std::string_view path, bool folder) const {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  for (const Pattern& p : m_patterns) {
    if (p.folderOnly && !folder) continue;
    if (!p.wholePath) {
      if (GlobMatch(p.glob, name)) return true;
      continue;
    }
    // The whole path, or unanchored any end of it that starts at a folder boundary.
    for (std::size_t start = 0;;) {
      if (GlobMatch(p.glob, path.substr(start))) return true;
      if (p.anchored) break;
      const std::size_t next = path.find('/', start);
      if (next == std::string_view::npos) break;
      start = next + 1;
    }
  }
  return false;
}

bool Excludes::MayMatchBelow(std::string_view folder) const {
  for (const Pattern& p : m_patterns) {
    if (!p.anchored) return true;  // it may match the end of any path
    // An anchored pattern matches a folder above the file, or a path that begins with the folder.
    for (std::size_t end = 0; end < folder.size(); ++end) {
      end = std::min(folder.find('/', end), folder.size());
      if (GlobMatch(p.glob, folder.substr(0, end))) return true;
    }
    if (Match(p.glob, std::string(folder) + (folder.empty() ? "" : "/"), true)) return true;
  }
  return false;
}
