#pragma once
// Code page 932 (Shift_JIS as Windows defines it) byte classes and path splitting.
// Kept in the core so that the splitting rules are the same on every platform and testable natively.

#include <cstddef>
#include <string>
#include <string_view>

namespace cp932 {

/// True for a byte that opens a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

/// True for a byte that may close a double-byte character (0x40-0x7E, 0x80-0xFC).
constexpr bool IsTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

}  // namespace cp932

/// Position of the last backslash of a code page 932 path, or -1. The path is read character
/// by character from its start, so the second byte of a double-byte character (ソ is 83 5C,
/// 表 is 95 5C) is never taken for a separator.
std::ptrdiff_t FindLastSeparator(std::string_view path);

/// True when the last character of the path (not merely its last byte) is a backslash.
bool EndsWithSeparator(std::string_view path);

/// The folder part of a path up to and including its last backslash; the empty text when it has none.
std::string FolderOf(std::string_view path);
