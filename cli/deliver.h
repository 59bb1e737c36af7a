#pragma once
// Handing the chosen files over for writing, when asked for: path lists for the mastering tools
// and folders laid out as the discs will be. The folders written into are checked and locked
// before anything is collected; a delivery is checked whole before anything is written, appears
// whole or not at all, and once in place is the run's result whatever signal comes after.

#include <memory>
#include <string>
#include <vector>

#include "cli/collection.h"
#include "cli/items.h"
#include "cli/exit_status.h"
#include "cli/options.h"
#include "cli/path_lists.h"
#include "cli/staging.h"

class Delivery {
 public:
  explicit Delivery(const Options& o);
  /// Whether anything is to be written.
  bool Wanted() const { return !m_targets.empty(); }
  /// Before collecting: every folder to write into can take this delivery (Target::Prepare),
  /// and is locked for the run. False after telling why.
  bool Prepare();
  /// Path lists and folders, with every name of each file; nothing after a signal stopped the
  /// search. Returns kFailed when nothing was delivered or a file was left out of a list, the
  /// signal's status when one stopped the delivery before it was in place.
  ExitStatus Deliver(const std::vector<Disc>& discs, const Collection& c, const Job& job);

 private:
  using DiscFiles = std::vector<std::vector<DiscFile>>;
  bool Check(const DiscFiles& files, std::vector<std::string>& texts, std::vector<const DiscFile*>& left,
             std::string& why);
  bool SourcesOutsideReplaced(const DiscFiles& files, std::string& why) const;
  bool Write(const DiscFiles& files, const std::vector<std::string>& texts, std::string& why);
  bool Commit(std::string& why);
  std::string Where() const;

  const Options& m_o;
  std::vector<std::unique_ptr<Target>> m_targets;
  Target* m_lists = nullptr;
  Target* m_tree = nullptr;
};
