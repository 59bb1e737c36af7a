#pragma once
// Files and folders to leave out (--exclude, --exclude-from), matched as rsync and tar users
// expect: a pattern without a slash matches a name at any depth ("*.tmp", ".git"); one with a
// slash matches the end of a path at a folder boundary ("raw/*.nef"), or with a leading slash
// the whole path from the disc's root ("/photos/raw"); a trailing slash matches folders only
// ("cache/"). '*' and '?' stay within a name, '**' crosses folders, [...] is a set of
// characters and a backslash takes the next character as it is. A folder left out is not walked.

#include <string>
#include <string_view>
#include <vector>

/// The longest line and the most lines a file of patterns may have.
constexpr std::size_t kLongestPattern = 4096;
constexpr std::size_t kMostPatterns = 100'000;

class Excludes {
 public:
  /// False for an empty pattern.
  bool Add(std::string_view pattern);
  /// One pattern a line; empty lines and lines beginning with '#' or ';' are not patterns.
  /// False after telling `why` when the file cannot be read, or holds a line longer than
  /// kLongestPattern or more than kMostPatterns lines.
  bool ReadFrom(const std::string& file, std::string& why);
  bool Empty() const { return m_patterns.empty(); }
  /// Whether the path (relative to the disc's root, with '/') is left out.
  bool Excluded(std::string_view path, bool folder) const;
  /// Whether anything below the folder (relative to the root, "" for the root) may be left out;
  /// false when no path below it can be: a look-up may pass such a folder by.
  bool MayMatchBelow(std::string_view folder) const;

 private:
  struct Pattern {
    std::string glob;
    bool anchored = false;    ///< matched from the root only
    bool wholePath = false;   ///< matched against the path, not only the name
    bool folderOnly = false;  ///< matches folders only
  };
  std::vector<Pattern> m_patterns;
};

/// Whether `text` matches the glob as a whole ('*' and '?' not across '/', '**' across it), in
/// time bounded by the product of their lengths whatever the pattern.
bool GlobMatch(std::string_view glob, std::string_view text);
