#include "cli/output.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

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

Progress::Progress(bool quiet, std::int64_t capacity)
    : m_quiet(quiet), m_tty(isatty(STDERR_FILENO) != 0), m_capacity(capacity) {}

void Progress::Show(std::int64_t total) {
  if (m_quiet) return;
  const std::string text = "best so far " + Grouped(total) + " bytes, " + Grouped(m_capacity - total) + " to spare";
  if (m_tty) {
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    m_shown = true;
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
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

nlohmann::json FileJson(const Candidate& f) {
  return {{"path", f.entry->path}, {"size", f.entry->size}, {"on_disc", f.onDisc}};
}

nlohmann::json DiscJson(const Disc& d, const std::vector<Candidate>& c, std::size_t candidates) {
  nlohmann::json files = nlohmann::json::array();
  for (int i : d.files) files.push_back(FileJson(c[i]));
  return {{"capacity", d.capacity},
          {"total", d.total},
          {"raw_total", d.raw},
          {"remainder", d.capacity - d.total},
          {"complete", d.complete},
          {"candidates", candidates},
          {"elapsed_ms", std::round(d.elapsedMs * 1000) / 1000},
          {"files", files}};
}

void PrintDisc(const Disc& d, const std::vector<Candidate>& c, const Job& job, const char* heading) {
  const int width = static_cast<int>(Grouped(std::max(d.capacity, d.total)).size());
  if (heading) std::printf("%s\n", heading);
  for (int i : d.files) std::printf("%*s  %s\n", width, Grouped(c[i].entry->size).c_str(), c[i].entry->path.c_str());
  std::printf("%*s  total, %s%s\n", width, Grouped(d.raw).c_str(), Plural(d.files.size(), "file", "files").c_str(),
              d.complete ? "" : " (search stopped: best found so far)");
  if (job.onDisc) std::printf("%*s  on the disc\n", width, Grouped(d.total).c_str());
  std::printf("%*s  capacity\n", width, Grouped(d.capacity).c_str());
  std::printf("%*s  remainder\n", width, Grouped(d.capacity - d.total).c_str());
}

void PrintJson(const nlohmann::json& j) {
  // Paths that are not valid UTF-8 get replacement characters here; -0 passes bytes as they are.
  std::printf("%s\n", j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

void WarnLargeFiles(const std::vector<Disc>& discs, const std::vector<Candidate>& c, const Job& job) {
  std::size_t large = 0;
  for (const Disc& d : discs) {
    for (int i : d.files) large += c[i].entry->size >= kLargeFile;
  }
  if (job.onDisc && large) {
    Warn(Plural(large, "chosen file is", "chosen files are") +
         " 4 GiB or more: ISO 9660 holds such a file only at level 3 (xorriso -as mkisofs -iso-level 3) or beside UDF "
         "(genisoimage -udf -allow-limited-size, which takes about 500 KB more)");
  }
}
