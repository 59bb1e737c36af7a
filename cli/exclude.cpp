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

// How a part of a glob fared against the text: besides matching or not, rsync's two ways of
// knowing that no later start can match either, which keep the search polynomial: the text ran
// out (no '*' before can help), or a '*' met a '/' (only a '**' before can go on).
enum class Wild { kNo, kYes, kTextEnded, kToStarStar };

Wild Match(std::string_view glob, std::string_view text) {
  std::size_t t = 0;
  for (std::size_t p = 0; p < glob.size(); ++p, ++t) {
    if (t == text.size() && glob[p] != '*') return Wild::kTextEnded;
    switch (glob[p]) {
      case '*': {
        const bool crosses = p + 1 < glob.size() && glob[p + 1] == '*';
        while (p < glob.size() && glob[p] == '*') ++p;
        if (p == glob.size()) return crosses || text.find('/', t) == std::string_view::npos ? Wild::kYes : Wild::kNo;
        for (; t < text.size(); ++t) {
          const Wild rest = Match(glob.substr(p), text.substr(t));
          if (rest != Wild::kNo && (!crosses || rest != Wild::kToStarStar)) return rest;
          if (rest == Wild::kNo && !crosses && text[t] == '/') return Wild::kToStarStar;
        }
        return Wild::kTextEnded;
      }
      case '?':
        if (text[t] == '/') return Wild::kNo;
        break;
      case '[': {
        std::size_t length = 0;
        if (text[t] == '/' || !InSet(glob.substr(p), text[t], length)) return Wild::kNo;
        p += length - 1;
        break;
      }
      case '\\':
        if (p + 1 < glob.size()) ++p;
        [[fallthrough]];
      default:
        if (glob[p] != text[t]) return Wild::kNo;
    }
  }
  return t == text.size() ? Wild::kYes : Wild::kNo;
}

}  // namespace

bool GlobMatch(std::string_view glob, std::string_view text) {
  // A text without the glob's literal end ("*.nef") is settled at once: most are, in a search.
  std::size_t literal = glob.size();
  for (char c; literal > 0 && (c = glob[literal - 1]) != '*' && c != '?' && c != '[' && c != ']' && c != '\\';)
    --literal;
  const std::string_view end = glob.substr(literal);
  if (end.size() > text.size() || text.substr(text.size() - end.size()) != end) return false;
  return Match(glob, text) == Wild::kYes;
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
  // Patterns are a few lines of names: a line longer than a path, or more lines than anyone
  // writes, is not such a file (/dev/urandom, a binary given by mistake).
  std::string line;
  std::vector<std::string> patterns;
  std::size_t lines = 0;
  for (char c; in.get(c);) {
    if (c != '\n') {
      if (line.size() == kLongestPattern)
        return why = file + ":" + std::to_string(lines + 1) + ": a line longer than " +
                     std::to_string(kLongestPattern) + " bytes: not a file of patterns",
               false;
      line += c;
      continue;
    }
    if (++lines > kMostPatterns)
      return why = file + ": more than " + std::to_string(kMostPatterns) + " lines: not a file of patterns", false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#' && line[0] != ';') patterns.push_back(line);
    line.clear();
  }
  if (in.bad()) return why = "cannot read " + file + ": " + std::strerror(errno), false;
  if (!line.empty() && line[0] != '#' && line[0] != ';') patterns.push_back(line);
  for (const std::string& p : patterns) Add(p);
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
    // A text that ran out before the glob did may go on as a path below the folder does.
    const Wild start = Match(p.glob, std::string(folder) + (folder.empty() ? "" : "/"));
    if (start == Wild::kYes || start == Wild::kTextEnded) return true;
  }
  return false;
}
