#include "cli/output.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli/stopping.h"
#include "discs/model.h"
#include "files/size_text.h"

namespace {

constexpr std::int64_t kLargeFile = std::int64_t{4} << 30;

}  // namespace

std::string Grouped(std::int64_t n) { return n == 0 ? "0" : FormatNumber(n, true); }

void Warn(const std::string& what) { std::fprintf(stderr, "zumibo-fit: warning: %s\n", what.c_str()); }
void Complain(const std::string& what) { std::fprintf(stderr, "zumibo-fit: %s\n", what.c_str()); }

std::string Plural(std::size_t n, const char* one, const char* many) {
  return Grouped(static_cast<std::int64_t>(n)) + " " + (n == 1 ? one : many);
}

Progress::Progress(bool quiet) : m_on(!quiet && isatty(STDERR_FILENO) != 0) {}

bool Progress::Due() {
  if (!m_on) return false;
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  if (now - m_lastMs < 100) return false;
  m_lastMs = now;
  return true;
}

void Progress::Show(const std::string& text) {
  if (!m_on) return;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  m_shown = true;
}

Progress::~Progress() {
  if (m_shown) std::fprintf(stderr, "\r\033[K");
}

int Refuse(PlanRefusal refusal, std::int64_t capacity) {
  if (refusal == PlanRefusal::kNoFiles) {
    Complain("there is not a single file in the list");
  } else {
    Complain("every file in the list exceeds the capacity limit (" + Grouped(capacity) + " bytes" +
             (refusal == PlanRefusal::kPinnedOverCapacity ? ", less than the file system itself takes)" : ")"));
  }
  return 1;
}

nlohmann::json FileJson(const Collection& c, const Candidate& f) {
  nlohmann::json file = {{"path", c.Source(f)}, {"size", f.size}, {"on_disc", c.OnDisc(f)}};
  if (f.nameCount > 1) {
    nlohmann::json also = nlohmann::json::array();
    for (std::uint32_t k = 1; k < f.nameCount; ++k)
      also.push_back({{"path", c.Source(f, k)}, {"on_disc", c.OnDisc(f, k)}});
    file["also"] = std::move(also);
  }
  return file;
}

nlohmann::json DiscJson(const Disc& d, const Collection& c, std::size_t candidates) {
  nlohmann::json files = nlohmann::json::array();
  for (std::uint32_t i : d.files) files.push_back(FileJson(c, c[i]));
  return {{"capacity", d.capacity},
          {"total", d.total},
          {"raw_total", d.raw},
          {"remainder", d.capacity - d.total},
          {"complete", d.complete},
          {"candidates", candidates},
          {"elapsed_ms", std::round(d.elapsedMs * 1000) / 1000},
          {"files", files}};
}

void PrintDisc(const Disc& d, const Collection& c, const Job& job, const char* heading) {
  const int width = static_cast<int>(Grouped(std::max(d.capacity, d.total)).size());
  if (heading) std::printf("%s\n", heading);
  for (std::uint32_t i : d.files) {
    const std::string source(c.Source(c[i]));
    std::printf("%*s  %s\n", width, Grouped(c[i].size).c_str(), source.c_str());
    for (std::uint32_t k = 1; k < c[i].nameCount; ++k)
      std::printf("%*s  %s (another name of the file above)\n", width, "", std::string(c.Source(c[i], k)).c_str());
  }
  const char* stopped = d.complete      ? ""
                        : Interrupted() ? " (interrupted: best found so far)"
                                        : " (search stopped: best found so far)";
  std::printf("%*s  total, %s%s\n", width, Grouped(d.raw).c_str(), Plural(d.files.size(), "file", "files").c_str(),
              stopped);
  if (job.onDisc) std::printf("%*s  on the disc\n", width, Grouped(d.total).c_str());
  std::printf("%*s  capacity\n", width, Grouped(d.capacity).c_str());
  std::printf("%*s  remainder\n", width, Grouped(d.capacity - d.total).c_str());
}

std::string JsonText(const nlohmann::json& j) {
  // Paths that are not valid UTF-8 get replacement characters here; -0 passes bytes as they are.
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void PrintJson(const nlohmann::json& j) { std::printf("%s\n", JsonText(j).c_str()); }

void PrintLeftOut(const std::vector<LeftOut>& left) {
  if (left.empty()) return;
  std::printf("\nnot on any disc: %s\n", Plural(left.size(), "file or folder", "files and folders").c_str());
  for (const LeftOut& l : left) {
    std::printf("%s  %s  (%s)\n", l.size < 0 ? "?" : Grouped(l.size).c_str(), l.path.c_str(), l.why.c_str());
  }
}

nlohmann::json LeftOutJson(const std::vector<LeftOut>& left) {
  nlohmann::json all = nlohmann::json::array();
  for (const LeftOut& l : left) {
    nlohmann::json one = {{"path", l.path}, {"why", l.why}};
    if (l.size >= 0) one["size"] = l.size;
    all.push_back(std::move(one));
  }
  return all;
}

std::string Accounting(const Job& job, bool json) {
  const bool udf = job.model.fileSystem == DiscFileSystem::kIsoUdf;
  if (!job.onDisc) return json ? "raw" : "bytes as they are (--raw)";
  if (!job.model.records)
    return json ? "reserve"
                : "on the disc: blocks of " + Grouped(job.model.block) + " bytes and " + Grouped(job.model.reserve) +
                      " bytes set aside";
  if (json) return udf ? "iso+udf" : "iso";
  return std::string("on the disc: ISO 9660 + Joliet + Rock Ridge") +
         (udf ? " + UDF (genisoimage -udf)" : " (genisoimage, xorriso)");
}

std::string MasteringCommand(const Job& job, const std::string& list, const std::string& image) {
  const bool udf = job.model.fileSystem == DiscFileSystem::kIsoUdf;
  // -joliet-long: Joliet names of up to 103 characters, without which genisoimage refuses a
  // folder where two names share their first 64.
  const std::string options =
      std::string("-D -J -joliet-long -R") + (udf ? " -udf" : "") + " -graft-points -path-list ";
  return "genisoimage " + options + list + " -o " + image +
         (udf ? "" : " (or xorriso -as mkisofs with the same options)");
}

void WarnLargeFiles(const std::vector<Disc>& discs, const Collection& c, const Job& job) {
  std::size_t large = 0;
  for (const Disc& d : discs) {
    for (std::uint32_t i : d.files) large += c[i].size >= kLargeFile;
  }
  if (!job.onDisc || !large) return;
  if (job.model.fileSystem == DiscFileSystem::kIsoUdf)
    Warn(Plural(large, "chosen file is", "chosen files are") +
         " 4 GiB or more: master with genisoimage -udf -allow-limited-size (UDF holds the whole file, ISO 9660 "
         "only its first 4 GiB)");
  else
    Warn(Plural(large, "chosen file is", "chosen files are") +
         " 4 GiB or more: ISO 9660 holds such a file only at level 3 (xorriso -as mkisofs -iso-level 3); "
         "genisoimage needs UDF for it (plan with --fs udf, master with -udf -allow-limited-size)");
}

bool Interrupted() { return g_signal != 0; }

int Finished(int delivered, const Collection& c) {
  if (delivered != 0) return delivered;
  if (g_signal) return 128 + g_signal;
  return c.leftOut.empty() ? 0 : 3;
}
