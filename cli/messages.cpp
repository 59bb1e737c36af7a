#include "cli/messages.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "files/size_text.h"

namespace {

// Whether a progress line stands on stderr now: a message clears it first, so that the two never
// share a line.
bool g_progressShown = false;

void ClearProgress() {
  if (!g_progressShown) return;
  std::fputs("\r\033[K", stderr);
  g_progressShown = false;
}

}  // namespace

std::string Grouped(std::int64_t n) { return n == 0 ? "0" : FormatNumber(n, true); }

std::string Plural(std::size_t n, const char* one, const char* many) {
  return Grouped(static_cast<std::int64_t>(n)) + " " + (n == 1 ? one : many);
}

void Warn(const std::string& what) {
  ClearProgress();
  std::fprintf(stderr, "zumibo-fit: warning: %s\n", what.c_str());
}

void Complain(const std::string& what) {
  ClearProgress();
  std::fprintf(stderr, "zumibo-fit: %s\n", what.c_str());
}

Progress::Progress(bool quiet) : m_on(!quiet && isatty(STDERR_FILENO) != 0) {}

bool Progress::Due() {
  if (!m_on) return false;
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  if (now - m_lastMs < 100) return false;
  m_lastMs = now;
  return true;
}

void Progress::Show(const std::string& text) {
  if (!m_on) return;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  g_progressShown = true;
}

Progress::~Progress() { ClearProgress(); }
