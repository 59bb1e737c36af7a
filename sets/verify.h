#pragma once
// Checking a disc against the catalog, years after it was written: the disc (a mounted disc or a
// disc folder) is identified by its set file, every file it should hold is read once and its size
// and SHA-256 compared with the catalog's, and whatever else is on it is named.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sets/catalog.h"
#include "sets/disc_texts.h"
#include "sets/sha256.h"

struct VerifyReport {
  DiscLabel label;                                           ///< as the catalog records the disc
  std::uint64_t files = 0, bytes = 0;                        ///< what the catalog lists on it
  std::vector<std::pair<std::string, std::string>> corrupt;  ///< a path on the disc, and what is wrong
  std::vector<std::string> missing, extra;                   ///< paths on the disc, in order
  bool Clean() const { return corrupt.empty() && missing.empty() && extra.empty(); }
};

/// Checks the disc at `dir`. A file of another size, one that cannot be read to its end, or one
/// whose SHA-256 differs is corrupt, and so are a SHA256SUMS or set file that differ from what
/// the catalog makes of the disc. `progress` is told the bytes read of all the disc's files.
/// False with `why` when the disc is not one of the catalog's (no set file, another set, a disc
/// number the catalog lacks, another disc under that number) or when the progress stopped.
bool VerifyDisc(Catalog& catalog, const std::string& dir, VerifyReport& report, const ReadProgress& progress,
                std::string& why);
