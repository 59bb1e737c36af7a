#pragma once
// JSON written as it goes, so that a plan of a million files never stands in memory as one
// document. Object keys are written in the order given; callers give them sorted, as every
// object zumibo-fit prints has its keys in byte order.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
 public:
  explicit JsonWriter(std::FILE* out) : m_out(out) {}
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  /// The key of the next value in an object.
  void Key(std::string_view key);
  /// Text; bytes that are not UTF-8 become U+FFFD (PathField keeps them).
  void String(std::string_view text);
  void Int(std::int64_t n);
  void Bool(bool b);
  /// The shortest text that reads back as `d`, with ".0" when it is whole.
  void Double(double d);
  /// `key` with the path as text, and when the path is not UTF-8 also `key`_bytes with its bytes
  /// in base64, so that every name reads back exactly.
  void PathField(std::string_view key, std::string_view path);

 private:
  void Open(char bracket);
  void Close(char bracket);
  void BeforeValue();

  std::FILE* m_out;
  std::vector<bool> m_first;  ///< per open object or array: no member written yet
  bool m_afterKey = false;
};

/// `text` in JSON, quoted and escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string JsonQuoted(std::string_view text);
