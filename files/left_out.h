#pragma once
// What a drop had to leave out, and the notice that tells the user so.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// The paths a drop could not list: names the code page cannot hold, paths too long for the
/// narrow file functions, folders and files that cannot be read. All are counted; the first few
/// are kept, as the code page shows them, for the notice.
class LeftOutPaths {
 public:
  void Add(std::string_view path);
  std::size_t Count() const { return m_count; }
  /// The notice after a drop that left paths out: how many, up to five of them (a long one
  /// shortened in its middle), and what to do. Empty when nothing was left out.
  std::string Notice() const;

 private:
  std::size_t m_count = 0;
  std::vector<std::string> m_shown;
};

/// The text itself when it has at most `most` bytes; otherwise its start and its end with "…"
/// between, at most `most` bytes in all, cut between the characters of code page 932.
std::string ShortenedInTheMiddle(std::string_view text, std::size_t most);
