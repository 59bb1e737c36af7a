#include "cli/items.h"

#include <string>

#include "cli/messages.h"

DiscRules RulesOf(const Job& job) {
  DiscRules rules;
  rules.capacity = job.capacity;
  rules.onDisc = job.onDisc;
  rules.model = job.model;
  rules.maxFiles = job.maxFiles;
  rules.carried = job.carried;
  return rules;
}

Items MakeItems(const Collection& c, const Job& job) {
  Items items;
  items.files.reserve(c.Count());
  std::vector<std::vector<std::uint32_t>> groups(c.groups.size());
  for (std::uint32_t i = 0; i < c.Count(); ++i) {
    if (c[i].group != kNoGroup) groups[c[i].group].push_back(i);
  }
  const DiscRules rules = RulesOf(job);
  std::vector<bool> whole(groups.size(), true), placed(groups.size(), false);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const Disc alone = MakeDisc(groups[g], c.sizes, rules);
    if (alone.Fits()) continue;
    whole[g] = false;
    Warn("the folder " + c.groups[g] + " (" + Plural(groups[g].size(), "file", "files") + ", " + Grouped(alone.total) +
         " bytes on a disc) is larger than a disc: its files are planned one by one");
  }
  const auto end = [&] { items.start.push_back(static_cast<std::uint32_t>(items.files.size())); };
  for (std::uint32_t i = 0; i < c.Count(); ++i) {
    const std::uint32_t g = c[i].group;
    if (g == kNoGroup || !whole[g]) {
      items.files.push_back(i);
      end();
    } else if (!placed[g]) {
      placed[g] = true;
      items.files.insert(items.files.end(), groups[g].begin(), groups[g].end());
      end();
    }
  }
  return items;
}
