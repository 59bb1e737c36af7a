#include "discs/stop_after.h"

#include <chrono>

StopAfter::StopAfter(std::atomic<std::uint8_t>& stop, double seconds) {
  if (seconds <= 0) return;
  m_thread = std::thread([this, &stop, seconds] {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_done.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return m_finished; }))
      stop.store(1, std::memory_order_relaxed);
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
