#pragma once
// What files take on a disc together. A file's data and its own records add up; a folder's
// records are paid once by each disc that holds something inside it. The planner places files
// (or folders kept whole) and every plan is held against this count, disc by disc.

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "discs/model.h"
#include "search/byte_count.h"

/// What a plan is held against.
struct DiscRules {
  std::int64_t capacity = 0;
  bool onDisc = false;  ///< sizes as on the disc (blocks, records, the fixed part), else raw
  DiscModel model;
  int maxFiles = kNoFileLimit;
  std::int64_t carried = 0;  ///< on the disc: what every disc holds besides its files (a set's own files)
};

/// The folders on a disc, numbered, each with the one above it and what its own records take.
class FolderTree {
 public:
  static constexpr std::uint32_t kRoot = UINT32_MAX;
  /// The number of the folder `path` (relative to the disc's root, with '/'; "" is the root),
  /// numbering it and those above it the first time they are met. The text must outlive the tree.
  std::uint32_t Add(std::string_view path, const DiscModel& model);
  std::uint32_t Above(std::uint32_t folder) const { return m_above[folder]; }
  std::int64_t Bytes(std::uint32_t folder) const { return m_bytes[folder]; }
  std::size_t Count() const { return m_above.size(); }

 private:
  std::unordered_map<std::string_view, std::uint32_t> m_ids;
  std::vector<std::uint32_t> m_above;
  std::vector<std::int64_t> m_bytes;
};

/// The files a plan places, as the disc counts them: each file's bytes, its data (in whole blocks
/// on a disc), its own records (every name of it), and the folders its names stand in.
struct PlanFiles {
  std::vector<std::int64_t> size, data, records;
  std::vector<std::uint32_t> nameStart;     ///< file f's names are nameStart[f] up to nameStart[f + 1]
  std::vector<std::uint32_t> folderOfName;  ///< per name: its folder in `folders`, or FolderTree::kRoot
  FolderTree folders;
  std::size_t Count() const { return size.size(); }
};

/// The records of files going onto one disc: each file's own, and each folder above them once.
/// Nothing when sizes are raw.
class DiscTally {
 public:
  /// An empty disc.
  void Start(const PlanFiles& files, bool onDisc);
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
  std::int64_t Own(std::uint32_t file) const { return m_on ? m_files->records[file] : 0; }
  /// The bytes of the file's folders that are neither on the disc nor marked `mark`, marking them.
  std::int64_t NewFolders(std::uint32_t file, std::uint64_t mark);

  const PlanFiles* m_files = nullptr;
  bool m_on = false;
  std::vector<std::uint64_t> m_mark;  ///< per folder: the disc or the question that met it last
  std::uint64_t m_marks = 0, m_disc = 0;
  std::int64_t m_bytes = 0, m_folders = 0;
};

struct Disc {
  std::vector<std::uint32_t> files;  ///< file indices, ascending (the standard order)
  std::int64_t capacity = 0;
  std::int64_t raw = 0;      ///< the files' bytes
  std::int64_t total = 0;    ///< what is compared with the capacity: raw, or on the disc
  std::int64_t records = 0;  ///< on the disc: the records of its files and folders
  std::int64_t folders = 0;  ///< of those, the folders' share
  bool complete = true;
  double elapsedMs = 0;
  bool Fits() const { return total <= capacity; }
};

/// Sorts the disc's files and adds up their bytes, records and folders, and the total the
/// capacity is held against.
void Tally(Disc& d, const PlanFiles& files, const DiscRules& rules);
/// A disc of the given files, tallied.
Disc MakeDisc(std::vector<std::uint32_t> files, const PlanFiles& planFiles, const DiscRules& rules);

/// What the searches place: each file by itself, or a folder kept whole with all its files,
/// ascending.
struct Items {
  std::vector<std::uint32_t> start{0};  ///< item i is files[start[i]] up to files[start[i + 1]]
  std::vector<std::uint32_t> files;
  std::size_t Count() const { return start.size() - 1; }
  template <typename Visit>
  void ForEachFile(std::size_t item, Visit visit) const {
    for (std::uint32_t k = start[item]; k < start[item + 1]; ++k) visit(files[k]);
  }
};

/// Item indices by weight, largest first, as the searches want them (with raw sizes, the
/// standard order itself), and the weights in that order: the data, and with `withRecords` the
/// files' own records.
std::vector<int> ByWeight(const Items& items, const PlanFiles& files, bool withRecords,
                          std::vector<std::int64_t>& weights);

/// What the records of all files take: room for records that any disc fits in.
std::int64_t AllRecords(const PlanFiles& files, const DiscRules& rules);
/// The room left for the files' data once the fixed part and `records` are set aside.
std::int64_t DataRoom(const DiscRules& rules, std::int64_t records);

/// The one-disc search packs the files' data (whole sectors, which makes exact fits easy to
/// find); their records, with those of their folders, are known only once the files are chosen.
/// So room is set aside for them, starting from none, until the chosen files fit: first as much
/// as the last choice needed, then a little more each round, and in the end room for every
/// record of every file, which always holds. `search` sets `needed` to 0 when its result fits,
/// else to the records to set aside; it returns false when nothing fits the room.
template <typename Search>
bool WithRecordRoom(const PlanFiles& files, const DiscRules& rules, Search search) {
  std::int64_t records = 0;
  for (int round = 0;; ++round) {
    std::int64_t needed = 0;
    if (!search(DataRoom(rules, records), needed)) return false;
    if (needed == 0) return true;
    records = round == 0  ? needed
              : round < 3 ? std::max(needed, records) + needed / 16
                          : std::max(needed, AllRecords(files, rules));
  }
}
