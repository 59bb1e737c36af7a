#pragma once
// What zumibo-fit tells: messages on stderr, progress, the chosen files as text or JSON, and the
// refusals.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/collect.h"
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

/// The best total so far, on stderr: on one line rewritten in place on a terminal, else a line each.
class Progress {
 public:
  Progress(bool quiet, std::int64_t capacity);
  void Show(std::int64_t total);
  ~Progress();

 private:
  bool m_quiet, m_tty, m_shown = false;
  std::int64_t m_capacity;
};

/// Tells why no disc can be planned; returns the exit status.
int Refuse(PlanRefusal refusal, std::int64_t capacity);

/// A chosen file in the JSON output.
nlohmann::json FileJson(const Candidate& f);
/// A disc in the JSON output.
nlohmann::json DiscJson(const Disc& d, const std::vector<Candidate>& c, std::size_t candidates);
/// A disc as text: its files, its totals and its remainder, after `heading` if any.
void PrintDisc(const Disc& d, const std::vector<Candidate>& c, const Job& job, const char* heading);
/// One JSON object on a line of stdout.
void PrintJson(const nlohmann::json& j);
/// Warns of files of 4 GiB or more on a disc, which ISO 9660 holds only at level 3 or beside UDF.
void WarnLargeFiles(const std::vector<Disc>& discs, const std::vector<Candidate>& c, const Job& job);
