// The fewest discs for real files, every disc held against its own folders: never more discs
// than first fit decreasing, every file on one disc, every disc within its capacity.
#include "discs/fewest_discs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

namespace {

// Files in a random tree of many small folders, as source trees and photo libraries have them.
struct Tree {
  std::vector<std::string> paths;  // kept for the tree's views
  PlanFiles files;
  Items items;
};

void MakeTree(std::mt19937_64& rng, const DiscModel& model, Tree& t) {
  const int files = std::uniform_int_distribution<int>(20, 160)(rng);
  const int folders = std::uniform_int_distribution<int>(2, 40)(rng);
  t.paths.clear();
  for (int i = 0; i < folders; ++i) {
    const int above = i ? std::uniform_int_distribution<int>(-1, i - 1)(rng) : -1;
    t.paths.push_back((above < 0 ? "" : t.paths[static_cast<std::size_t>(above)] + "/") + "folder" + std::to_string(i));
  }
  std::uniform_int_distribution<std::int64_t> size(1, 4'000'000);
  for (int f = 0; f < files; ++f) {
    const std::string& folder = t.paths[static_cast<std::size_t>(std::uniform_int_distribution<int>(0, folders - 1)(rng))];
    const std::int64_t bytes = size(rng);
    t.files.nameStart.push_back(static_cast<std::uint32_t>(t.files.folderOfName.size()));
    t.files.size.push_back(bytes);
    t.files.data.push_back(FileBytes(model, bytes));
    t.files.records.push_back(FileRecordBytes(model, folder + "/file" + std::to_string(f), bytes));
    t.files.folderOfName.push_back(t.files.folders.Add(folder, model));
    t.items.files.push_back(static_cast<std::uint32_t>(f));
    t.items.start.push_back(static_cast<std::uint32_t>(f + 1));
  }
  t.files.nameStart.push_back(static_cast<std::uint32_t>(t.files.folderOfName.size()));
}

}  // namespace

TEST(FewestDiscs, NeverMoreThanFirstFitAndEveryDiscFitsItsOwnFolders) {
#ifdef __SANITIZE_ADDRESS__
  const int rounds = 60;
#else
  const int rounds = 1000;
#endif
  std::mt19937_64 rng(26);
  DiscModel model;
  for (int round = 0; round < rounds; ++round) {
    Tree t;
    MakeTree(rng, model, t);
    DiscRules rules;
    rules.onDisc = true;
    rules.model = model;
    rules.capacity = std::uniform_int_distribution<std::int64_t>(6'000'000, 40'000'000)(rng);
    std::vector<std::string_view> paths(t.items.Count(), "");
    std::atomic<std::uint8_t> stop{0};
    const auto never = [] { return false; };
    const FewestDiscs first = PlanFewestDiscs(t.items, t.files, rules, paths, 1, stop, never, nullptr, true);
    const FewestDiscs all = PlanFewestDiscs(t.items, t.files, rules, paths, 0.02, stop, never, nullptr);
    ASSERT_LE(all.discs.size(), first.discs.size()) << round;
    ASSERT_GE(static_cast<int>(all.discs.size()), all.lowerBound) << round;
    std::vector<int> placed(t.files.Count(), 0);
    for (const Disc& d : all.discs) {
      Disc again = MakeDisc(d.files, t.files, rules);
      ASSERT_TRUE(again.Fits()) << round << ": " << again.total << " > " << again.capacity;
      for (std::uint32_t f : d.files) ++placed[f];
    }
    for (int n : placed) ASSERT_EQ(n, 1) << round;
  }
}
