#include "sets/disc_texts.h"

#include <algorithm>

namespace {

constexpr std::string_view kSetFileTitle = "zumibo-fit disc set";

bool Escaped(std::string_view path) { return path.find_first_of("\\\n\r") != std::string_view::npos; }

bool AllHex(std::string_view text, std::size_t size) {
  return text.size() == size && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

}  // namespace

std::string SetFileText(const DiscLabel& label) {
  return std::string(kSetFileTitle) + "\nset: " + label.setName + "\nset-id: " + label.setId +
         "\ndisc: " + std::to_string(label.number) + "\ndate: " + label.date + "\ndisc-id: " + label.discId +
         "\ncheck: sha256sum -c " + kSumsName + "\n";
}

bool ParseSetFile(std::string_view text, DiscLabel& label, std::string& why) {
  if (text.substr(0, kSetFileTitle.size() + 1) != std::string(kSetFileTitle) + "\n")
    return why = "it does not begin with \"" + std::string(kSetFileTitle) + "\"", false;
  label = DiscLabel();
  std::string number;
  for (std::size_t start = kSetFileTitle.size() + 1, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon), value = line.substr(colon + 2);
    if (key == "set") label.setName = value;
    else if (key == "set-id") label.setId = value;
    else if (key == "disc") number = value;
    else if (key == "date") label.date = value;
    else if (key == "disc-id") label.discId = value;
  }
  if (!AllHex(label.setId, 32)) return why = "no set-id of 32 hex digits", false;
  if (!AllHex(label.discId, 16)) return why = "no disc-id of 16 hex digits", false;
  if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos ||
      number[0] == '0')
    return why = "no disc number", false;
  label.number = std::stoi(number);
  return true;
}

std::string SumsLine(const SumsEntry& entry) {
  std::string line;
  const bool escaped = Escaped(entry.onDisc);
  if (escaped) line += '\\';
  line += HexDigest(entry.sha256) + "  ";
  for (char c : entry.onDisc) {
    if (!escaped) line += c;
    else if (c == '\\') line += "\\\\";
    else if (c == '\n') line += "\\n";
    else if (c == '\r') line += "\\r";
    else line += c;
  }
  return line + '\n';
}

std::string SumsText(std::vector<SumsEntry> entries) {
  std::sort(entries.begin(), entries.end(), [](const SumsEntry& a, const SumsEntry& b) { return a.onDisc < b.onDisc; });
  std::string text;
  for (const SumsEntry& e : entries) text += SumsLine(e);
  return text;
}

std::int64_t SumsSize(const std::vector<std::string_view>& onDisc) {
  std::int64_t bytes = 0;
  for (std::string_view path : onDisc) {
    bytes += 64 + 2 + static_cast<std::int64_t>(path.size()) + 1;
    if (!Escaped(path)) continue;
    bytes += 1 + std::count_if(path.begin(), path.end(), [](char c) { return c == '\\' || c == '\n' || c == '\r'; });
  }
  return bytes;
}
