#pragma once
// Plans of real files, each disc paying for what it really holds: its files' data and records,
// and the records of the folders those files stand in, once per disc. The quick plans (first fit
// decreasing, files in path order), the mending of a plan made with room set aside for folders,
// and a local search that empties discs into the others: each disc is held against its own
// records at every step, never against the worst disc's.

#include <atomic>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "discs/disc_list.h"
#include "discs/disc_tally.h"
#include "search/span.h"

/// A plan being built or changed: items on discs, each disc's load with its folders counted
/// once, as it would be mastered.
class ExactPlan {
 public:
  ExactPlan(const Items& items, const PlanFiles& files, const DiscRules& rules);
  int Discs() const { return static_cast<int>(m_load.size()); }
  /// A new empty disc; its number.
  int NewDisc();
  /// Whether the item fits the disc as it is, its new folders and the file limit counted.
  bool Fits(int item, int disc) const;
  void Put(int item, int disc);
  void Take(int item);
  /// The first disc the item fits, other than `besides`, or -1.
  int FirstFit(int item, int besides = -1) const;
  /// The disc an item is on, or -1.
  int DiscOf(int item) const { return m_discOf[static_cast<std::size_t>(item)]; }
  std::int64_t Load(int disc) const { return m_load[static_cast<std::size_t>(disc)]; }
  const std::vector<int>& ItemsOn(int disc) const { return m_items[static_cast<std::size_t>(disc)]; }
  /// Drops the discs left empty.
  void Compact();
  /// The plan as discs of files, tallied.
  std::vector<Disc> Result() const;
  /// An item's data and own records: what it weighs before its folders.
  std::int64_t Weight(int item) const { return m_weight[static_cast<std::size_t>(item)]; }

 private:
  std::int64_t FolderBytesAdded(int item, int disc) const;
  void SetFree(int disc);
  int FirstWithFree(std::int64_t bytes, int from) const;

  const Items& m_units;
  const PlanFiles& m_files;
  const DiscRules& m_rules;
  std::int64_t m_room;  // for the data and all records of a disc
  std::vector<std::int64_t> m_weight;
  std::vector<int> m_fileCountOf;  // files of each item
  std::vector<int> m_discOf;
  std::vector<std::int64_t> m_load;
  std::vector<int> m_fileCount;
  std::vector<std::vector<int>> m_items;
  std::unordered_map<std::uint64_t, std::uint32_t> m_folderUses;  // (disc, folder) -> files below it there
  std::vector<std::int64_t> m_tree;  // the most room of the discs under each node, to find a first fit
  std::size_t m_leaves = 1;
};

/// First fit decreasing: each item, heaviest first, on the first disc it fits as that disc is.
std::vector<Disc> FirstFitDecreasing(const Items& items, const PlanFiles& files, const DiscRules& rules);
/// The items in the order given, each disc filled until the next item does not fit; then the next disc.
std::vector<Disc> OneAfterAnother(const std::vector<std::uint32_t>& order, const Items& items, const PlanFiles& files,
                                  const DiscRules& rules);
/// Items in the order of their paths on the disc (`paths`: each item's), one disc after another.
/// Files of a folder stay together, so few folders take room on several discs: where folders are
/// many and files small, this needs fewer discs than packing by size.
std::vector<Disc> InPathOrder(const Items& items, const std::vector<std::string_view>& paths, const PlanFiles& files,
                              const DiscRules& rules);
/// A plan of items (by index) made with room set aside for folders, or cut short, held against
/// each disc's own records: a disc over the capacity gives up its lightest items until it fits,
/// and they go first fit decreasing onto the discs that hold them, or new ones.
std::vector<Disc> Mended(const DiscList& plan, const Items& items, const PlanFiles& files, const DiscRules& rules);
/// Empties the least filled discs into the others while that is possible and `target` discs are
/// not reached, first fit decreasing with every disc's own records; until the stop flag is set.
std::vector<Disc> Emptied(const std::vector<Disc>& plan, const Items& items, const std::vector<int>& itemOf,
                          const PlanFiles& files, const DiscRules& rules, int target,
                          const std::atomic<std::uint8_t>& stop);
