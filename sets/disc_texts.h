#pragma once
// The two files every disc of a set carries at its root, so that it can be checked and told
// apart with no zumibo-fit at hand: SHA256SUMS, which `sha256sum -c SHA256SUMS` reads on the
// mounted disc, and the set file, which names the set, the disc's number and its date.
//
// SHA256SUMS has a line a file, sorted by path bytes: 64 lowercase hex digits, two spaces, the
// path on the disc. As GNU sha256sum writes it, a path holding a backslash, a newline or a
// carriage return starts its line with a backslash and has them written as "\\", "\n", "\r".
//
// The set file (kSetFileName) is text:
//   zumibo-fit disc set
//   set: NAME
//   set-id: 32 hex digits, made with the catalog
//   disc: NUMBER
//   date: YYYY-MM-DD
//   disc-id: 16 hex digits, made for each disc written (two discs written under one number, as
//            after --forget, differ here)
//   check: sha256sum -c SHA256SUMS

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sets/sha256.h"

constexpr const char* kSumsName = "SHA256SUMS";
constexpr const char* kSetFileName = "ZUMIBO-SET.TXT";

/// What names a disc of a set.
struct DiscLabel {
  std::string setName;
  std::string setId;  ///< 32 hex digits
  int number = 0;
  std::string date;    ///< YYYY-MM-DD
  std::string discId;  ///< 16 hex digits
  bool operator==(const DiscLabel& o) const {
    return setName == o.setName && setId == o.setId && number == o.number && date == o.date && discId == o.discId;
  }
};

/// The set file of the disc.
std::string SetFileText(const DiscLabel& label);
/// Reads a set file; false with `why` for anything that is not one.
bool ParseSetFile(std::string_view text, DiscLabel& label, std::string& why);

/// A file as SHA256SUMS lists it.
struct SumsEntry {
  std::string_view onDisc;  ///< relative, with '/'
  Sha256Digest sha256;
};
/// The line of one file, with its newline.
std::string SumsLine(const SumsEntry& entry);
/// SHA256SUMS for the files (in any order).
std::string SumsText(std::vector<SumsEntry> entries);
/// The bytes SHA256SUMS takes for files at these paths on the disc: the planner counts it in
/// the disc's size before any file is hashed (a line's length does not depend on its digest).
std::int64_t SumsSize(const std::vector<std::string_view>& onDisc);
