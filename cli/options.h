#pragma once
// zumibo-fit's command line: the options as given, and the settings read from them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/exclude.h"
#include "discs/model.h"
#include "search/byte_count.h"

/// The options as given, before they are checked.
struct Options {
  std::string capacityText, maxFilesText, timeLimitText, blockText, reserveText, fileSystemText, wholeText;
  std::string listFile, list0File, pathLists, linkInto, generate;
  std::vector<std::string> paths, excludes, excludeFrom;
  bool json = false, null = false, all = false, quiet = false, help = false, version = false;
  bool raw = false, onDisc = false, followLinks = false, copy = false, hidden = false, keepEmptyDirs = false;
  bool replace = false;       ///< a delivery may replace what an earlier run delivered to the same folder
  bool firstFitOnly = false;  ///< --all plans first fit decreasing alone, for comparison
  std::string catalog;        ///< --catalog FILE: the disc set's catalog
  bool byContent = false;     ///< with --catalog: a file held by its SHA-256 is held too
  // A command selected by the first word (find, verify, catalog): its name, the words that are
  // not options (the catalog first), and catalog --forget's disc.
  std::string command;
  std::vector<std::string> operands;
  std::string forgetText;
};

/// The settings read from the options.
struct Job {
  std::int64_t capacity = 0;
  int maxFiles = kNoFileLimit;
  double timeLimit = 0;
  bool onDisc = false;
  bool delivering = false;  ///< path lists or folders are written: every name must be one they can hold
  int wholeDepth = -1;      ///< folders this deep below a PATH go on one disc each; -1: none
  DiscModel model;
  std::int64_t carried = 0;  ///< on the disc: what each disc holds besides its files (a set's own files)
  Excludes excludes;
};

/// Reads argv into `o` and `job` (only `o` for a command chosen by the first word, whose name it
/// sets in o.command). Returns the exit status when the program ends here: 0 after --help,
/// --version or --generate, 2 after telling what is wrong.
std::optional<int> ParseCommandLine(int argc, char** argv, Options& o, Job& job);
