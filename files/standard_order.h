#pragma once
// The standard order of files, used wherever files are listed or chosen from: larger sizes first,
// equal sizes by their full paths in ascending order of unsigned bytes.

#include <cstdint>
#include <string_view>

/// Negative, zero or positive as the file (sizeA, pathA) comes before, with or after the file
/// (sizeB, pathB). Paths compare byte by byte as unsigned values (std::char_traits<char>
/// compares chars as unsigned char), so a double-byte character sorts by its bytes.
inline int CompareStandardOrder(std::int64_t sizeA, std::string_view pathA, std::int64_t sizeB,
                                std::string_view pathB) {
  if (sizeA != sizeB) return sizeA > sizeB ? -1 : 1;
  const int c = pathA.compare(pathB);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

/// The same as a strict weak order, for std::sort and its kin.
inline bool BeforeInStandardOrder(std::int64_t sizeA, std::string_view pathA, std::int64_t sizeB,
                                  std::string_view pathB) {
  return CompareStandardOrder(sizeA, pathA, sizeB, pathB) < 0;
}
