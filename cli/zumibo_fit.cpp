// zumibo-fit: the exact-fit search from the command line, with the window's rules for collecting
// files, ordering them, planning and searching.

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "files/drop_intake.h"
#include "files/path_walk.h"
#include "files/size_text.h"
#include "search/byte_count.h"
#include "search/disc_fit.h"

namespace {

std::atomic<std::uint8_t> g_stop{0};
volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
  g_interrupted = 1;
  g_stop.store(1, std::memory_order_relaxed);
}

struct Options {
  std::string capacityText;
  std::string maxFilesText;
  std::string listFile;
  std::vector<std::string> paths;
  bool json = false;
  bool null = false;
  bool all = false;
  bool quiet = false;
  double timeLimit = 0;
};

struct Preset {
  const char* name;
  std::int64_t bytes;
};
constexpr Preset kPresets[] = {
    {"cd650", 681'984'000}, {"cd700", 737'280'000}, {"dvd", 4'700'372'992},
    {"dvd-dl", 8'543'666'176}, {"bd25", 25'025'314'816}, {"bd50", 50'050'629'632},
};

std::int64_t CapacityFrom(const std::string& text) {
  for (const Preset& p : kPresets) {
    if (text == p.name) return p.bytes;
  }
  return ParseByteCount(text);
}

std::string Grouped(std::int64_t n) { return n == 0 ? "0" : FormatNumber(n, true); }

void Warn(const std::string& what) { std::fprintf(stderr, "zumibo-fit: warning: %s\n", what.c_str()); }

// "SIZE<TAB>PATH" lines; a size may carry comma grouping. Bad lines are skipped with a warning.
void ReadList(std::istream& in, const std::string& name, DropIntake& intake) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::size_t tab = line.find('\t');
    const std::string size = line.substr(0, tab == std::string::npos ? 0 : tab);
    const bool digits = !size.empty() && size.find_first_not_of("0123456789,") == std::string::npos && size[0] != ',';
    if (tab == std::string::npos || !digits || tab + 1 == line.size()) {
      Warn(name + ":" + std::to_string(number) + ": not a \"SIZE<TAB>PATH\" line, skipped");
      continue;
    }
    intake.Add(MakePosixFileEntry(line.substr(tab + 1), ParseByteCount(size)));
  }
}

std::vector<FileEntry> Collect(const Options& o) {
  FileSet source, none;
  DropIntake intake(source, none);
  if (!o.listFile.empty()) {
    if (o.listFile == "-") {
      ReadList(std::cin, "stdin", intake);
    } else {
      std::ifstream in(o.listFile, std::ios::binary);
      if (!in) {
        Warn("cannot read " + o.listFile + ": " + std::strerror(errno));
      } else {
        ReadList(in, o.listFile, intake);
      }
    }
  }
  PathWalker walker([&](FileEntry e) { intake.Add(std::move(e)); },
                    [](const std::string& path) { Warn("cannot read " + path + ": " + std::strerror(errno) + ", skipped"); });
  for (const std::string& p : o.paths) walker.AddPath(p);
  intake.Finish();
  std::vector<FileEntry> files;
  files.reserve(source.GetCount());
  for (source.ResetCursor(true); const FileEntry* e = source.GetCurrent(); source.MoveNext()) files.push_back(*e);
  return files;
}

// Sets the stop flag after the given seconds unless the search ends first.
class TimeLimit {
 public:
  explicit TimeLimit(double seconds) {
    if (seconds <= 0) return;
    m_thread = std::thread([this, seconds] {
      std::unique_lock<std::mutex> lock(m_mutex);
      if (!m_done.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return m_finished; })) g_stop.store(1, std::memory_order_relaxed);
    });
  }
  ~TimeLimit() {
    if (!m_thread.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_finished = true;
    }
    m_done.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_thread;
};

struct Disc {
  DiscFit fit;
  std::vector<FileEntry> files;
  double elapsedMs = 0;
  std::size_t candidates = 0;
};

class Progress {
 public:
  Progress(bool quiet, int disc) : m_quiet(quiet), m_tty(isatty(STDERR_FILENO) != 0), m_disc(disc) {}
  void Show(std::int64_t total, std::int64_t capacity) {
    if (m_quiet) return;
    const std::string text = (m_disc > 0 ? "disc " + std::to_string(m_disc) + ": " : std::string()) + "best so far " +
                             Grouped(total) + " bytes, " + Grouped(capacity - total) + " to spare";
    if (m_tty) {
      std::fprintf(stderr, "\r\033[K%s", text.c_str());
      m_shown = true;
    } else {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
  }
  ~Progress() {
    if (m_shown) std::fprintf(stderr, "\r\033[K");
  }

 private:
  bool m_quiet, m_tty, m_shown = false;
  int m_disc;
};

Disc FitOne(const std::vector<FileEntry>& files, std::int64_t capacity, int maxFiles, const Options& o, int discNumber) {
  std::vector<std::int64_t> sizes;
  sizes.reserve(files.size());
  for (const FileEntry& f : files) sizes.push_back(f.size);
  Disc disc;
  disc.candidates = files.size();
  Progress progress(o.quiet, discNumber);
  const auto start = std::chrono::steady_clock::now();
  if (!g_interrupted) g_stop.store(0, std::memory_order_relaxed);
  {
    TimeLimit limit(o.timeLimit);
    disc.fit = FitDisc(sizes, capacity, maxFiles, g_stop, [&](std::int64_t total) { progress.Show(total, capacity); });
  }
  disc.elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  for (int i : disc.fit.chosen) disc.files.push_back(files[i]);
  return disc;
}

nlohmann::json FileJson(const FileEntry& f) { return {{"path", f.path}, {"size", f.size}}; }

nlohmann::json DiscJson(const Disc& d) {
  nlohmann::json files = nlohmann::json::array();
  for (const FileEntry& f : d.files) files.push_back(FileJson(f));
  return {{"capacity", d.fit.capacity},   {"total", d.fit.total},           {"remainder", d.fit.remainder},
          {"complete", d.fit.complete},   {"candidates", d.candidates},      {"elapsed_ms", std::round(d.elapsedMs * 1000) / 1000},
          {"files", files}};
}

void PrintDisc(const Disc& d, const char* heading) {
  std::size_t width = Grouped(d.fit.capacity).size();
  if (heading) std::printf("%s\n", heading);
  for (const FileEntry& f : d.files) std::printf("%*s  %s\n", static_cast<int>(width), Grouped(f.size).c_str(), f.path.c_str());
  std::printf("%*s  total, %zu file%s%s\n", static_cast<int>(width), Grouped(d.fit.total).c_str(), d.files.size(),
              d.files.size() == 1 ? "" : "s", d.fit.complete ? "" : " (search stopped: best found so far)");
  std::printf("%*s  capacity\n", static_cast<int>(width), Grouped(d.fit.capacity).c_str());
  std::printf("%*s  remainder\n", static_cast<int>(width), Grouped(d.fit.remainder).c_str());
}

void PrintJson(const nlohmann::json& j) {
  // Paths that are not valid UTF-8 get replacement characters here; -0 passes bytes as they are.
  std::printf("%s\n", j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

int Refuse(PlanRefusal refusal, std::int64_t capacity) {
  switch (refusal) {
    case PlanRefusal::kNoFiles:
      std::fprintf(stderr, "zumibo-fit: there is not a single file in the list\n");
      break;
    case PlanRefusal::kNothingFits:
      std::fprintf(stderr, "zumibo-fit: every file in the list exceeds the capacity limit (%s bytes)\n", Grouped(capacity).c_str());
      break;
    default:
      std::fprintf(stderr, "zumibo-fit: the capacity limit is negative (%lld bytes): no selection can stay within it\n",
                   static_cast<long long>(capacity));
      break;
  }
  return 1;
}

int RunAll(std::vector<FileEntry> files, std::int64_t capacity, int maxFiles, const Options& o) {
  std::vector<Disc> discs;
  while (!files.empty()) {
    Disc disc = FitOne(files, capacity, maxFiles, o, static_cast<int>(discs.size()) + 1);
    if (disc.fit.refusal == PlanRefusal::kNothingFits) break;
    if (disc.fit.refusal != PlanRefusal::kNone) return Refuse(disc.fit.refusal, capacity);
    std::vector<bool> taken(files.size(), false);
    for (int i : disc.fit.chosen) taken[i] = true;
    std::vector<FileEntry> rest;
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (!taken[i]) rest.push_back(std::move(files[i]));
    }
    files = std::move(rest);
    discs.push_back(std::move(disc));
  }
  if (discs.empty()) return Refuse(PlanRefusal::kNothingFits, capacity);
  if (o.json) {
    nlohmann::json all = {{"discs", nlohmann::json::array()}, {"unplaced", nlohmann::json::array()}};
    for (const Disc& d : discs) all["discs"].push_back(DiscJson(d));
    for (const FileEntry& f : files) all["unplaced"].push_back(FileJson(f));
    PrintJson(all);
    return 0;
  }
  for (std::size_t i = 0; i < discs.size(); ++i) {
    if (i) std::printf("\n");
    const std::string heading = "disc " + std::to_string(i + 1) + " of " + std::to_string(discs.size());
    PrintDisc(discs[i], heading.c_str());
  }
  if (!files.empty()) {
    std::printf("\nunplaced (larger than the capacity): %zu file%s\n", files.size(), files.size() == 1 ? "" : "s");
    for (const FileEntry& f : files) std::printf("%s  %s\n", Grouped(f.size).c_str(), f.path.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"Collects the files under PATHs and prints the combination whose total comes closest to the capacity\n"
               "without going over it: exactly the combination the Zumibo window chooses.",
               "zumibo-fit"};
  app.set_version_flag("--version", "zumibo-fit " ZUMIBO_VERSION);
  app.add_option("-c,--capacity", o.capacityText,
                 "bytes (\"4,700,372,992\"), or a preset: cd650 (681,984,000) cd700 (737,280,000) dvd (4,700,372,992) "
                 "dvd-dl (8,543,666,176) bd25 (25,025,314,816) bd50 (50,050,629,632)")
      ->required();
  app.add_option("-m,--max-files", o.maxFilesText,
                 "at most N files in a combination searched (default: no limit); as in the window, the greedy "
                 "start from the largest files is not cut to N");
  app.add_option("--list", o.listFile, "candidates from \"SIZE<TAB>PATH\" lines of FILE ('-' for stdin) instead of PATHs");
  auto* json = app.add_flag("--json", o.json, "print the result as one JSON object");
  auto* null = app.add_flag("-0,--null", o.null, "print only the chosen paths, each followed by a NUL byte (for xargs -0)");
  app.add_option("--time-limit", o.timeLimit, "stop each search after SEC seconds and keep the best found so far")->check(CLI::PositiveNumber);
  auto* all = app.add_flag("--all", o.all, "plan disc after disc until every file that fits a disc is placed");
  app.add_flag("-q,--quiet", o.quiet, "no progress output");
  app.add_option("PATH", o.paths, "files and folders to collect (folders recursively, names beginning with '.' skipped)");
  null->excludes(json);
  null->excludes(all);
  try {
    app.parse(argc, argv);
    if (o.paths.empty() && o.listFile.empty()) throw CLI::ValidationError("give PATHs to collect, or --list FILE");
    if (!o.paths.empty() && !o.listFile.empty()) throw CLI::ValidationError("give PATHs or --list FILE, not both");
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "zumibo-fit: %s\nTry 'zumibo-fit --help' for more information.\n", e.what());
    return 2;
  }

  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);

  const std::int64_t capacity = CapacityFrom(o.capacityText);
  const int maxFiles = ParseMaxFileCount(o.maxFilesText);
  std::vector<FileEntry> files = Collect(o);
  if (capacity < 0) return Refuse(PlanRefusal::kPinnedOverCapacity, capacity);
  if (o.all) return RunAll(std::move(files), capacity, maxFiles, o);

  const Disc disc = FitOne(files, capacity, maxFiles, o, 0);
  if (disc.fit.refusal != PlanRefusal::kNone) return Refuse(disc.fit.refusal, capacity);
  if (o.json) {
    PrintJson(DiscJson(disc));
  } else if (o.null) {
    for (const FileEntry& f : disc.files) std::fwrite(f.path.c_str(), 1, f.path.size() + 1, stdout);
  } else {
    PrintDisc(disc, nullptr);
  }
  return 0;
}
