#pragma once
// How zumibo-fit's work is stopped early: by a signal or by a time limit (discs/stop_after.h), both
// through the one flag that the searches and the walk watch.

#include <atomic>
#include <csignal>
#include <cstdint>

/// Set by a signal or a time limit: the work in hand stops and keeps what it found so far.
extern std::atomic<std::uint8_t> g_stop;
/// The signal that came, or 0.
extern volatile std::sig_atomic_t g_signal;

/// A signal stops the work in hand; what was found so far is printed, as after a time limit.
/// Installs that handler for SIGINT, SIGTERM and SIGHUP.
void InstallSignalHandlers();
