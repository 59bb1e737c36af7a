#pragma once
// A disc's files and what they take, shared by the one-disc search and the plan of all discs;
// and the room set aside on each disc for the records of files and folders.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cli/collect.h"
#include "cli/options.h"

struct Disc {
  std::vector<int> files;  ///< candidate indices, ascending (the standard order)
  std::int64_t capacity = 0;
  std::int64_t raw = 0;      ///< the files' bytes
  std::int64_t total = 0;    ///< what is compared with the capacity: raw, or on the disc
  std::int64_t records = 0;  ///< on the disc: the records of its files and folders
  std::int64_t folders = 0;  ///< of those, the folders' share
  bool complete = true;
  double elapsedMs = 0;
};

/// The records of a disc's files and folders, and the total the capacity is held against.
void Tally(Disc& d, const std::vector<Candidate>& c, const Job& job);

/// Candidate indices by weight, largest first, as the searches want them (with raw sizes, the
/// standard order itself), and the weights in that order.
std::vector<int> ByWeight(const std::vector<Candidate>& c, bool withRecords, std::vector<std::int64_t>& weights);

/// What the records of all candidates take: room for records that any disc fits in.
std::int64_t AllRecords(const std::vector<Candidate>& c, const Job& job);

/// The room left for the files' data once the fixed part and `records` are set aside.
std::int64_t DataRoom(const Job& job, std::int64_t records);

/// The search packs the files' data (whole sectors, which makes exact fits easy to find); their
/// records, with those of their folders, are known only once the files are chosen. So room is
/// set aside for them, starting from none; when the chosen files need more, the search runs again
/// with that much (and a little more) set aside, and in the end with room for every record of
/// every candidate, which always holds.
template <typename Search>
bool WithRecordRoom(const std::vector<Candidate>& c, const Job& job, Search search) {
  std::int64_t records = 0;
  for (int round = 0;; ++round) {
    std::int64_t needed = 0;
    if (!search(DataRoom(job, records), needed)) return false;
    if (needed <= records) return true;
    records = round < 3 ? needed + needed / 16 : std::max(needed, AllRecords(c, job));
  }
}
