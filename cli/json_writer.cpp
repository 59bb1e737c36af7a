#include "cli/json_writer.h"

#include "cli/utf8.h"

#include <charconv>
#include <cmath>

namespace {

std::string Base64(std::string_view bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (n > 1) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (n > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
    text += kDigits[(group >> 18) & 63];
    text += kDigits[(group >> 12) & 63];
    text += n > 1 ? kDigits[(group >> 6) & 63] : '=';
    text += n > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

}  // namespace

std::string JsonQuoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    const std::size_t length = Utf8Length(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(text.data() + at, length);
      at += length;
      continue;
    }
    ++at;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          static const char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

void JsonWriter::BeforeValue() {
  if (m_afterKey) {
    m_afterKey = false;
    return;
  }
  if (!m_first.empty()) {
    if (!m_first.back()) std::fputc(',', m_out);
    m_first.back() = false;
  }
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  std::fputc(bracket, m_out);
  m_first.push_back(true);
}

void JsonWriter::Close(char bracket) {
  m_first.pop_back();
  std::fputc(bracket, m_out);
}

void JsonWriter::Key(std::string_view key) {
  BeforeValue();
  std::fputs(JsonQuoted(key).c_str(), m_out);
  std::fputc(':', m_out);
  m_afterKey = true;
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  const std::string quoted = JsonQuoted(text);
  std::fwrite(quoted.data(), 1, quoted.size(), m_out);
}

void JsonWriter::Int(std::int64_t n) {
  BeforeValue();
  std::fprintf(m_out, "%lld", static_cast<long long>(n));
}

void JsonWriter::Bool(bool b) {
  BeforeValue();
  std::fputs(b ? "true" : "false", m_out);
}

void JsonWriter::Double(double d) {
  BeforeValue();
  if (!std::isfinite(d)) {
    std::fputs("null", m_out);
    return;
  }
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, d).ptr;
  std::string s(text, end);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  std::fputs(s.c_str(), m_out);
}

void JsonWriter::PathField(std::string_view key, std::string_view path) {
  Key(key);
  String(path);
  if (ValidUtf8(path)) return;
  Key(std::string(key) + "_bytes");
  String(Base64(path));
}
