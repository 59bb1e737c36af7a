#pragma once
// A time limit for work that watches a stop flag: the flag is set once the time is up, unless
// the work ends first.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class StopAfter {
 public:
  /// Sets `stop` after `seconds` (never when 0 or less), or as soon as `parent` is set, unless the
  /// object goes first.
  StopAfter(std::atomic<std::uint8_t>& stop, double seconds, const std::atomic<std::uint8_t>* parent = nullptr);
  ~StopAfter();
  StopAfter(const StopAfter&) = delete;
  StopAfter& operator=(const StopAfter&) = delete;

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_thread;
};
