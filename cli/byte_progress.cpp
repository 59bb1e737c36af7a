#include "cli/byte_progress.h"

#include <chrono>
#include <cstdio>

#include "cli/stopping.h"

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string ShortBytes(std::uint64_t bytes) {
  static const char* const kUnits[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 999.5 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) value /= 1000, ++unit;
  char text[32];
  std::snprintf(text, sizeof text, unit && value < 9.95 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
  return text;
}

ByteProgress::ByteProgress(bool quiet, std::string what) : m_line(quiet), m_what(std::move(what)), m_startMs(NowMs()) {}

bool ByteProgress::Show(std::uint64_t done, std::uint64_t total) {
  if (g_stop.load(std::memory_order_relaxed)) return false;
  if (!m_line.Due()) return true;
  std::string text = m_what + ": " + ShortBytes(done) + " of " + ShortBytes(total);
  const std::int64_t ms = NowMs() - m_startMs;
  if (ms >= 1000 && done > 0) {
    const double perSecond = static_cast<double>(done) * 1000 / static_cast<double>(ms);
    const auto left = static_cast<std::int64_t>(static_cast<double>(total > done ? total - done : 0) / perSecond);
    text += ", " + ShortBytes(static_cast<std::uint64_t>(perSecond)) + "/s, ";
    text += left >= 3600 ? std::to_string(left / 3600) + " h " + std::to_string(left / 60 % 60) + " min left"
            : left >= 60 ? std::to_string(left / 60) + " min " + std::to_string(left % 60) + " s left"
                         : std::to_string(left) + " s left";
  }
  m_line.Show(text);
  return true;
}
