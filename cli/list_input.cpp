#include "cli/list_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "cli/quantity_text.h"

namespace {

// One record without its end: a size, a tab, a path.
bool Parse(std::string_view record, char end, std::int64_t& size, std::string_view& path, std::string& why) {
  const std::size_t tab = record.find('\t');
  if (tab == std::string_view::npos || tab == 0 || tab + 1 == record.size()) {
    why = "not a \"SIZE<TAB>PATH\" line";
    return false;
  }
  const std::string_view digits = record.substr(0, tab);
  bool overflow = false;
  if (!ReadDigits(digits, size, overflow)) {
    why = "not a \"SIZE<TAB>PATH\" line";
    return false;
  }
  if (overflow) {
    why = "the size " + std::string(digits) + " is too large";
    return false;
  }
  path = record.substr(tab + 1);
  if (end != '\0' && path.find('\0') != std::string_view::npos) {
    why = "a NUL byte in the path (use a NUL-separated list for such names)";
    return false;
  }
  return true;
}

}  // namespace

ListReading ReadList(int fd, char end, const volatile std::sig_atomic_t& interrupted,
                     const std::function<void(std::int64_t size, std::string_view path, long record)>& add,
                     const std::function<void(long record, const std::string& why)>& bad) {
  ListReading reading;
  std::vector<char> buffer(kLongestRecord * 2);
  std::size_t held = 0;  // bytes of the current record(s) at the start of the buffer
  bool atEnd = false;
  long number = 0;
  std::string why;
  while (!atEnd) {
    const ssize_t n = read(fd, buffer.data() + held, buffer.size() - held);
    if (interrupted) {
      reading.end = ListEnd::kInterrupted;
      reading.record = number + 1;
      return reading;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      reading.end = ListEnd::kUnreadable;
      reading.error = errno;
      reading.record = number + 1;
      return reading;
    }
    held += static_cast<std::size_t>(n);
    atEnd = n == 0;
    std::size_t start = 0;
    for (;;) {
      const char* found = static_cast<const char*>(memchr(buffer.data() + start, end, held - start));
      if (!found && !(atEnd && start < held)) break;
      const std::size_t stop = found ? static_cast<std::size_t>(found - buffer.data()) : held;
      std::string_view record(buffer.data() + start, stop - start);
      start = found ? stop + 1 : held;
      ++number;
      if (record.size() > kLongestRecord) {
        reading.end = ListEnd::kTooLong;
        reading.record = number;
        return reading;
      }
      if (end == '\n' && !record.empty() && record.back() == '\r') record.remove_suffix(1);
      if (record.empty()) continue;
      std::int64_t size = 0;
      std::string_view path;
      if (Parse(record, end, size, path, why)) add(size, path, number);
      else bad(number, why);
    }
    if (held - start > kLongestRecord) {
      reading.end = ListEnd::kTooLong;
      reading.record = number + 1;
      return reading;
    }
    held -= start;
    std::memmove(buffer.data(), buffer.data() + start, held);
  }
  return reading;
}
