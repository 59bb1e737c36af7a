#pragma once
// What zumibo-fit tells on standard error: warnings, complaints and the progress of a long run,
// and the counts they are written with.

#include <cstddef>
#include <cstdint>
#include <string>

/// A count with its digits grouped by commas.
std::string Grouped(std::int64_t n);
/// A count and the noun that goes with it: "1 file", "2 files".
std::string Plural(std::size_t n, const char* one, const char* many);

/// "zumibo-fit: warning: WHAT" on stderr, after clearing a progress line.
void Warn(const std::string& what);
/// "zumibo-fit: WHAT" on stderr, after clearing a progress line.
void Complain(const std::string& what);

/// What a long run is doing, on one line of stderr rewritten in place; only on a terminal, and
/// not with --quiet. The line is cleared when the object goes, and before any message.
class Progress {
 public:
  explicit Progress(bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  /// Whether a new line is worth making: on a terminal, the first time and then at most ten
  /// times a second.
  bool Due();
  void Show(const std::string& text);
  /// Whether anything is shown at all (a terminal, and not --quiet).
  bool On() const { return m_on; }

 private:
  bool m_on;
  std::int64_t m_lastMs = -1000;
};
