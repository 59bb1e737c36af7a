#include "discs/stop_after.h"

#include <chrono>

namespace {

// How often a parent flag is looked at.
constexpr std::chrono::milliseconds kWatch{5};

}  // namespace

StopAfter::StopAfter(std::atomic<std::uint8_t>& stop, double seconds, const std::atomic<std::uint8_t>* parent) {
  if (seconds <= 0 && !parent) return;
  m_thread = std::thread([this, &stop, seconds, parent] {
    const auto deadline = seconds <= 0 ? std::chrono::steady_clock::time_point::max()
                                       : std::chrono::steady_clock::now() +
                                             std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                 std::chrono::duration<double>(seconds));
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      const auto until = parent ? std::min(deadline, std::chrono::steady_clock::now() + kWatch) : deadline;
      if (m_done.wait_until(lock, until, [this] { return m_finished; })) return;
      if (std::chrono::steady_clock::now() >= deadline || (parent && parent->load(std::memory_order_relaxed))) {
        stop.store(1, std::memory_order_relaxed);
        return;
      }
    }
  });
}

StopAfter::~StopAfter() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
  }
  m_done.notify_all();
  m_thread.join();
}
