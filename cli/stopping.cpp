#include "cli/stopping.h"

#include <signal.h>


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
