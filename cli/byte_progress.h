#pragma once
// The progress of reading many bytes (hashing, checking a disc), on a terminal:
// "checking disc 14: 1.2 GB of 4.4 GB, 230 MB/s, 14 s left".

#include <cstdint>
#include <string>

#include "cli/messages.h"

/// Bytes in decimal units with three figures: "950 kB", "1.2 GB", "25 GB".
std::string ShortBytes(std::uint64_t bytes);

class ByteProgress {
 public:
  ByteProgress(bool quiet, std::string what);
  /// Shows `done` of `total` with the speed so far and the time left, at most ten times a second.
  /// False once a signal or time limit asks the work to stop.
  bool Show(std::uint64_t done, std::uint64_t total);

 private:
  Progress m_line;
  std::string m_what;
  std::int64_t m_startMs;
};
