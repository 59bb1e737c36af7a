#pragma once
// What zumibo-fit tells: messages on stderr, progress, the chosen files as text or JSON, and the
// refusals.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/collection.h"
#include "cli/disc_tally.h"
#include "cli/options.h"
#include "search/disc_fit.h"

/// A count with its digits grouped by commas.
std::string Grouped(std::int64_t n);

/// "zumibo-fit: warning: WHAT" on stderr.
void Warn(const std::string& what);
/// "zumibo-fit: WHAT" on stderr.
void Complain(const std::string& what);
/// A count and the noun that goes with it: "1 file", "2 files".
std::string Plural(std::size_t n, const char* one, const char* many);

/// What a long run is doing, on one line of stderr rewritten in place; only on a terminal, and
/// not with --quiet. The line is cleared when the object goes.
class Progress {
 public:
  explicit Progress(bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  /// Whether a new line is worth making: on a terminal, the first time and then at most ten
  /// times a second.
  bool Due();
  void Show(const std::string& text);

 private:
  bool m_on;
  bool m_shown = false;
  std::int64_t m_lastMs = -1000;
};

/// Tells why no disc can be planned; returns the exit status.
int Refuse(PlanRefusal refusal, std::int64_t capacity);

/// A chosen file in the JSON output: its path, size and path on the disc, and its other names.
nlohmann::json FileJson(const Collection& c, const Candidate& f);
/// A disc in the JSON output.
nlohmann::json DiscJson(const Disc& d, const Collection& c, std::size_t candidates);
/// A disc as text: its files (a file's other names below it), its totals and its remainder,
/// after `heading` if any.
void PrintDisc(const Disc& d, const Collection& c, const Job& job, const char* heading);
/// One JSON value as it is printed on stdout.
std::string JsonText(const nlohmann::json& j);
/// One JSON object on a line of stdout.
void PrintJson(const nlohmann::json& j);
/// The files the user asked for that no disc holds, with their reasons, as text; nothing when
/// there are none.
void PrintLeftOut(const std::vector<LeftOut>& left);
/// The same in the JSON output.
nlohmann::json LeftOutJson(const std::vector<LeftOut>& left);
/// How sizes were counted, in words for the text output and as a JSON value.
std::string Accounting(const Job& job, bool json);
/// The command that masters path list `list` for the file system of the job.
std::string MasteringCommand(const Job& job, const std::string& list, const std::string& image);
/// Warns of files of 4 GiB or more on a disc, which ISO 9660 holds only at level 3 or beside UDF.
void WarnLargeFiles(const std::vector<Disc>& discs, const Collection& c, const Job& job);
/// Whether a signal (not a time limit) stopped the search.
bool Interrupted();
/// The exit status of a run that printed its plan: 1 when the delivery failed, else 128 + the
/// signal when interrupted, 3 when files are on no disc, 0 when all is well.
int Finished(int delivered, const Collection& c);
