#pragma once
// Candidate lists read by zumibo-fit: "SIZE<TAB>PATH" records ended by a newline (or by a NUL
// byte, for paths that hold newlines), as `find -printf '%s\t%p\n'` writes them.

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/// Longer records are not taken for a list at all (a binary file, /dev/zero).
constexpr std::size_t kLongestRecord = 64 * 1024;

enum class ListEnd {
  kComplete,     ///< read to its end
  kInterrupted,  ///< a signal came while reading: what was read is only part of the list
  kTooLong,      ///< a record longer than kLongestRecord
  kUnreadable,   ///< a read failed
};

struct ListReading {
  ListEnd end = ListEnd::kComplete;
  long record = 0;  ///< the number of the record reading ended at
  int error = 0;    ///< errno of a failed read
};

/// Reads the records of `fd`, giving each good one to `add` with its number. A bad record (no tab, a size that
/// is not digits or exceeds 64 bits, an empty path, a NUL byte inside a newline-ended record)
/// is reported to `bad` with its number and skipped. Reading ends early once `interrupted` is set.
ListReading ReadList(int fd, char end, const volatile std::sig_atomic_t& interrupted,
                     const std::function<void(std::int64_t size, std::string_view path, long record)>& add,
                     const std::function<void(long record, const std::string& why)>& bad);
