#include "tests/cli/fuzz_targets.h"

#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <string_view>

#include "cli/list_input.h"
#include "cli/path_lists.h"
#include "cli/quantity_text.h"

namespace {

// Digits grouped in threes by commas, or none: the grouping the parsers must take and no other.
bool WellGrouped(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return true;
  if (comma == 0 || comma > 3 || (text.size() - comma) % 4 != 0) return false;
  for (std::size_t i = comma; i < text.size(); ++i) {
    if (((i - comma) % 4 == 0) != (text[i] == ',')) return false;
  }
  return true;
}

std::string Plain(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c != ',') digits += c;
  }
  return digits;
}

bool AllDigitsOrCommas(std::string_view text) {
  for (char c : text) {
    if ((c < '0' || c > '9') && c != ',') return false;
  }
  return !text.empty();
}

}  // namespace

std::string FuzzQuantityText(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int64_t value = 0;
  bool overflow = false;
  const bool read = ReadDigits(text, value, overflow);
  if (read != (AllDigitsOrCommas(text) && WellGrouped(text)))
    return "ReadDigits took or refused '" + std::string(text) + "' against its grouping";
  if (read && !overflow) {
    const std::string digits = Plain(text);
    if (digits.size() < 19 && value != std::stoll(digits))
      return "ReadDigits read '" + std::string(text) + "' as " + std::to_string(value);
  }
  std::int64_t bytes = 0;
  bool preset = false;
  std::string why;
  if (ParseCapacity(text, bytes, preset, why) && bytes < 0)
    return "a negative capacity from '" + std::string(text) + "'";
  double seconds = 0;
  if (ParseSeconds(text, seconds, why) && !(seconds > 0))
    return "a time limit of no time from '" + std::string(text) + "'";
  return {};
}

std::string FuzzListInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("list", 0);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0) {
    if (fd >= 0) close(fd);
    return {};
  }
  static const volatile std::sig_atomic_t never = 0;
  std::string wrong;
  long last = 0;
  for (const char end : {'\n', '\0'}) {
    lseek(fd, 0, SEEK_SET);
    last = 0;
    ReadList(
        fd, end, never,
        [&](std::int64_t bytes, std::string_view path, long record) {
          if (record <= last) wrong = "records out of order";
          last = record;
          if (bytes < 0 || path.empty()) wrong = "a record without a size or a path";
          if (end == '\n' && path.find('\0') != std::string_view::npos) wrong = "a NUL byte in a line's path";
        },
        [&](long record, const std::string&) {
          if (record <= last) wrong = "a bad record out of order";
          last = record;
        });
  }
  close(fd);
  return wrong;
}

std::string FuzzGraftLine(const std::uint8_t* data, std::size_t size) {
  // The input is a disc path and a source, split at the first NUL byte.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t split = text.find('\0');
  if (split == std::string_view::npos) return {};
  DiscFile file{std::string(text.substr(split + 1)), std::string(text.substr(0, split))};
  if (file.source.empty() || file.source[0] != '/') file.source.insert(0, "/");  // as GraftLine makes it
  std::string line;
  if (!GraftLine(file, line)) return {};
  if (line.find('\n') != std::string::npos || line.size() > kLongestGraftLine) return "a line no tool reads whole";
  // genisoimage: the first '=' not after a backslash splits; "\\" and "\=" stand for '\' and '='.
  std::size_t at = 0;
  while (at < line.size() && !(line[at] == '=' && (at == 0 || line[at - 1] != '\\'))) ++at;
  const auto unescape = [](std::string_view part) {
    std::string out;
    for (std::size_t i = 0; i < part.size(); ++i) {
      if (part[i] == '\\' && i + 1 < part.size() && (part[i + 1] == '\\' || part[i + 1] == '=')) ++i;
      out += part[i];
    }
    return out;
  };
  if (at == line.size()) return "no '=' splits the line";
  if (unescape(std::string_view(line).substr(0, at)) != file.onDisc) return "the disc path reads back otherwise";
  if (unescape(std::string_view(line).substr(at + 1)) != file.source) return "the source reads back otherwise";
  return {};
}
