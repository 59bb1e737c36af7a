#pragma once
// UTF-8 as the command line meets it in names: what is well formed, and where a character ends.

#include <cstddef>
#include <cstdint>
#include <string_view>

/// The length of the UTF-8 sequence at `at` (no overlong forms, surrogates or values past
/// U+10FFFF), or 0 when the bytes there are not one.
std::size_t Utf8Length(std::string_view text, std::size_t at);
/// The character of the sequence of `length` bytes at `at`.
std::uint32_t Utf8Decode(std::string_view text, std::size_t at, std::size_t length);
/// Whether `text` is well-formed UTF-8.
bool ValidUtf8(std::string_view text);
