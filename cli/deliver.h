#pragma once
// Handing the chosen files over for writing, when asked for: path lists for the mastering tools
// and folders laid out as the discs will be. The folders written into are checked and locked
// before anything is collected; a delivery is checked whole before anything is written, appears
// whole or not at all, and once in place is the run's result whatever signal comes after.

#include <memory>
#include <string>
#include <vector>

#include "cli/collection.h"
#include "cli/disc_set.h"
#include "cli/exit_status.h"
#include "cli/items.h"
#include "cli/link_tree.h"
#include "cli/options.h"
#include "cli/path_lists.h"
#include "cli/staging.h"

class Delivery {
 public:
  /// With an active `set`, the discs are numbered after its last, each carries SHA256SUMS and its
  /// set file, and they are recorded in its catalog once in place.
  Delivery(const Options& o, RunSet& set);
  /// Whether anything is to be written.
  bool Wanted() const { return !m_targets.empty(); }
  /// Before collecting: every folder to write into can take this delivery (DeliveryFolder::Prepare),
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
  bool Hash(const DiscFiles& files, std::string& why);
  bool WriteSetFiles(const DiscFiles& files, std::string& why);
  bool WriteList(const std::string& name, const std::string& text, std::string& why);
  bool Commit(std::string& why);
  bool Record(const DiscFiles& files, const Collection& c);
  std::string Where() const;
  std::string DiscName(std::size_t d) const { return "disc" + std::to_string(m_first + static_cast<int>(d)); }

  const Options& m_o;
  RunSet& m_set;
  int m_first = 1;                  // the number of the first disc
  std::vector<DiscLabel> m_labels;  // with a set: each disc's
  FileDigests m_digests;            // with a set: each file's SHA-256
  std::vector<std::unique_ptr<DeliveryFolder>> m_targets;
  DeliveryFolder* m_lists = nullptr;
  DeliveryFolder* m_tree = nullptr;
};
