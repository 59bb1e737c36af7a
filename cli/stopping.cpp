#include "cli/stopping.h"

#include <signal.h>

#include <chrono>

std::atomic<std::uint8_t> g_stop{0};
volatile sig_atomic_t g_signal = 0;

namespace {

void OnSignal(int signal) {
  g_signal = signal;
  g_stop.store(1, std::memory_order_relaxed);
}

}  // namespace

void InstallSignalHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  // A file size limit (ulimit -f) is a write that fails with EFBIG, told as any other.
  signal(SIGXFSZ, SIG_IGN);
}

TimeLimit::TimeLimit(double seconds) {
  if (seconds <= 0) return;
  m_thread = std::thread([this, seconds] {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_done.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return m_finished; }))
      g_stop.store(1, std::memory_order_relaxed);
  });
}

TimeLimit::~TimeLimit() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
  }
  m_done.notify_all();
  m_thread.join();
}
