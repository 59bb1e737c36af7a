#pragma once
// A disc's files and what they take, shared by the one-disc search and the plan of all discs;
// what the searches place (a file, or a folder kept whole); and the room set aside on each disc
// for the records of files and folders.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cli/collection.h"
#include "cli/options.h"

struct Disc {
  std::vector<std::uint32_t> files;  ///< candidate indices, ascending (the standard order)
  std::int64_t capacity = 0;
  std::int64_t raw = 0;      ///< the files' bytes
  std::int64_t total = 0;    ///< what is compared with the capacity: raw, or on the disc
  std::int64_t records = 0;  ///< on the disc: the records of its files and folders
  std::int64_t folders = 0;  ///< of those, the folders' share
  bool complete = true;
  double elapsedMs = 0;
  bool Fits() const { return total <= capacity; }
};

/// The records of files going onto one disc, by the collection's numbered folders: each file's
/// own records (every name of it), and each folder above them once. Nothing when sizes are raw.
class RecordTally {
 public:
  /// An empty disc of the collection.
  void Start(const Collection& c, const Job& job);
  /// What the files of an item would add, the folders they share counted once.
  template <typename Items>
  std::int64_t Adding(const Items& items, std::size_t item) {
    const std::uint64_t probe = ++m_marks;
    std::int64_t bytes = 0;
    items.ForEachFile(item, [&](std::uint32_t f) { bytes += Own(f) + NewFolders(f, probe); });
    return bytes;
  }
  void Add(std::uint32_t file) {
    const std::int64_t folders = NewFolders(file, m_disc);
    m_folders += folders;
    m_bytes += Own(file) + folders;
  }
  std::int64_t Bytes() const { return m_bytes; }
  std::int64_t Folders() const { return m_folders; }

 private:
  std::int64_t Own(std::uint32_t file) const { return m_on ? (*m_c)[file].records : 0; }
  /// The bytes of the file's folders that are neither on the disc nor marked `mark`, marking them.
  std::int64_t NewFolders(std::uint32_t file, std::uint64_t mark);

  const Collection* m_c = nullptr;
  bool m_on = false;
  std::vector<std::uint64_t> m_mark;  ///< per folder: the disc or the question that met it last
  std::uint64_t m_marks = 0, m_disc = 0;
  std::int64_t m_bytes = 0, m_folders = 0;
};

/// The records of a disc's files (every name of each) and folders, and the total the capacity
/// is held against.
void Tally(Disc& d, const Collection& c, const Job& job);

/// What the searches place: each file by itself, or a folder kept whole (--whole) with all its
/// files, ascending.
struct Items {
  std::vector<std::uint32_t> start{0};  ///< item i is files[start[i]] up to files[start[i + 1]]
  std::vector<std::uint32_t> files;
  std::size_t Count() const { return start.size() - 1; }
  template <typename Visit>
  void ForEachFile(std::size_t item, Visit visit) const {
    for (std::uint32_t k = start[item]; k < start[item + 1]; ++k) visit(files[k]);
  }
};

/// The items of the collection, in the order of their first files. A folder kept whole that is
/// larger than a disc becomes its files, each by itself, and is told.
Items MakeItems(const Collection& c, const Job& job);

/// Item indices by weight, largest first, as the searches want them (with raw sizes, the
/// standard order itself), and the weights in that order: the data, and with `withRecords` the
/// files' own records.
std::vector<int> ByWeight(const Items& items, const Collection& c, bool withRecords,
                          std::vector<std::int64_t>& weights);

/// A disc of the given files, tallied.
Disc MakeDisc(std::vector<std::uint32_t> files, const Collection& c, const Job& job);

/// What the records of all candidates take: room for records that any disc fits in.
std::int64_t AllRecords(const Collection& c, const Job& job);

/// The room left for the files' data once the fixed part and `records` are set aside.
std::int64_t DataRoom(const Job& job, std::int64_t records);

/// The search packs the files' data (whole sectors, which makes exact fits easy to find); their
/// records, with those of their folders, are known only once the files are chosen. So room is
/// set aside for them, starting from none, until the chosen files fit: first as much as the last
/// choice needed, then a little more each round, and in the end room for every record of every
/// candidate, which always holds. `search` sets `needed` to 0 when its result fits, else to the
/// records to set aside; it returns false when nothing fits the room.
template <typename Search>
bool WithRecordRoom(const Collection& c, const Job& job, Search search) {
  std::int64_t records = 0;
  for (int round = 0;; ++round) {
    std::int64_t needed = 0;
    if (!search(DataRoom(job, records), needed)) return false;
    if (needed == 0) return true;
    records = round == 0  ? needed
              : round < 3 ? std::max(needed, records) + needed / 16
                          : std::max(needed, AllRecords(c, job));
  }
}
