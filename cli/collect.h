#pragma once
// Collecting the candidates: the files under PATHs, found with the window's walk, or the files
// of a list, each with the path it takes on the disc and the bytes it takes there.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "files/file_entry.h"
#include "files/file_set.h"

struct Candidate {
  const FileEntry* entry = nullptr;  ///< in the collected file set, which outlives the candidates
  std::string onDisc;                ///< the path on the disc, relative to its root
  std::int64_t data = 0;             ///< its bytes, on the disc in whole blocks
  std::int64_t records = 0;          ///< on the disc: its own records
};

/// Collecting: from PATHs with the window's walk, or from a list. False when a signal cut the
/// collection short or the list cannot be read; the reason is told already.
bool Collect(const Options& o, const Job& job, FileSet& source, std::vector<Candidate>& candidates);
