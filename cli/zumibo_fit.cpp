// zumibo-fit: the exact-fit search from the command line, with the window's rules for collecting
// files, ordering them, planning and searching; with a disc preset, sizes count as the files
// will take on the disc, and --all spreads the files over as few discs as it can.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cli/burn_output.h"
#include "cli/list_input.h"
#include "cli/quantity_text.h"
#include "files/drop_intake.h"
#include "files/path_walk.h"
#include "files/size_text.h"
#include "search/byte_count.h"
#include "search/disc_fit.h"
#include "discs/model.h"
#include "discs/plan.h"
#include "search/saturating.h"

namespace {

std::atomic<std::uint8_t> g_stop{0};
volatile sig_atomic_t g_signal = 0;

void OnSignal(int signal) {
  g_signal = signal;
  g_stop.store(1, std::memory_order_relaxed);
}

// What --all allows the search for fewer discs when no time limit is given.
constexpr double kPlanSeconds = 2;
constexpr std::int64_t kLargeFile = std::int64_t{4} << 30;

struct Options {
  std::string capacityText, maxFilesText, timeLimitText, blockText, reserveText;
  std::string listFile, list0File, pathLists, linkInto;
  std::vector<std::string> paths;
  bool json = false, null = false, all = false, quiet = false;
  bool raw = false, onDisc = false, followLinks = false, copy = false;
};

// The settings read from the options.
struct Job {
  std::int64_t capacity = 0;
  int maxFiles = kNoFileLimit;
  double timeLimit = 0;
  bool onDisc = false;
  DiscModel model;
};

struct Candidate {
  const FileEntry* entry = nullptr;  ///< in the collected file set, which outlives the candidates
  std::string onDisc;  ///< the path on the disc, relative to its root
  std::int64_t data = 0;     ///< its bytes, on the disc in whole blocks
  std::int64_t records = 0;  ///< on the disc: its own records
};

std::string Grouped(std::int64_t n) { return n == 0 ? "0" : FormatNumber(n, true); }

void Warn(const std::string& what) { std::fprintf(stderr, "zumibo-fit: warning: %s\n", what.c_str()); }
void Complain(const std::string& what) { std::fprintf(stderr, "zumibo-fit: %s\n", what.c_str()); }

std::string Plural(std::size_t n, const char* one, const char* many) { return Grouped(static_cast<std::int64_t>(n)) + " " + (n == 1 ? one : many); }

// A path from a list, as it goes on the disc: its components without "", "." and "..", so that
// nothing can land outside the disc's folder.
std::string ListedOnDisc(std::string_view path) {
  std::string disc;
  disc.reserve(path.size());
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != "." && part != "..") {
      if (!disc.empty()) disc += '/';
      disc += part;
    }
    start = end + 1;
  }
  return disc;
}

// Where the files under each PATH go on the disc: under the PATH's own name ("photos/2020/a.jpg"
// for ~/photos), the contents of "." or "/" at the root, a name given twice numbered "~2", "~3".
std::vector<std::string> RootNames(const std::vector<std::string>& roots) {
  std::vector<std::string> names;
  for (const std::string& root : roots) {
    std::string name = ListedOnDisc(root);
    name = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
    std::string unique = name;
    for (int n = 2; !name.empty() && std::find(names.begin(), names.end(), unique) != names.end(); ++n) unique = name + "~" + std::to_string(n);
    names.push_back(unique);
  }
  return names;
}

// Sets the stop flag after the given seconds unless the work ends first.
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

// Collecting: from PATHs with the window's walk, or from a list. False when a signal cut the
// collection short or the list cannot be read; the reason is told already.
bool Collect(const Options& o, const Job& job, FileSet& source, std::vector<Candidate>& candidates) {
  FileSet none;
  DropIntake intake(source, none);
  std::unordered_map<std::string, std::size_t> rootOf;  // path -> PATH it was found under
  const std::string list = o.listFile.empty() ? o.list0File : o.listFile;
  if (!list.empty()) {
    const int fd = list == "-" ? STDIN_FILENO : open(list.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
      Complain("cannot read the list " + list + ": " + std::strerror(errno));
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      Complain("the list " + list + " is a folder: give a file of \"SIZE<TAB>PATH\" lines, or the folder as a PATH");
      return false;
    }
    const std::string name = list == "-" ? "stdin" : list;
    const ListReading r = ReadList(
        fd, o.listFile.empty() ? '\0' : '\n', g_signal, [&](FileEntry e) { intake.Add(std::move(e)); },
        [&](long record, const std::string& why) { Warn(name + ":" + std::to_string(record) + ": " + why + ", skipped"); });
    if (fd != STDIN_FILENO) close(fd);
    switch (r.end) {
      case ListEnd::kComplete:
        break;
      case ListEnd::kInterrupted:
        Complain("interrupted while reading " + name + " (at record " + std::to_string(r.record) + "): the list was cut short, nothing planned");
        return false;
      case ListEnd::kTooLong:
        Complain(name + ":" + std::to_string(r.record) + ": a record longer than " + Grouped(kLongestRecord) + " bytes: not a list");
        return false;
      case ListEnd::kUnreadable:
        Complain("cannot read " + name + ": " + std::strerror(r.error));
        return false;
    }
  }
  std::size_t links = 0, again = 0, root = 0;
  PathWalker walker(
      [&](FileEntry e) {
        rootOf.emplace(e.path, root);
        intake.Add(std::move(e));
      },
      [](const std::string& path) { Warn("cannot read " + path + ": " + std::strerror(errno) + ", skipped"); });
  if (!o.followLinks) walker.SkipLinks([&](const std::string&) { ++links; });
  walker.ListFilesOnce([&](const std::string&) { ++again; });
  walker.StopWhen(&g_stop);
  for (; root < o.paths.size(); ++root) walker.AddPath(o.paths[root]);
  if (walker.Stopped() || g_signal) {
    Complain("interrupted while collecting files: the list was cut short, nothing planned");
    return false;
  }
  if (links) Complain(Plural(links, "symbolic link", "symbolic links") + " skipped (-L follows them)");
  if (again) Complain(Plural(again, "file", "files") + " reached again by another hard link or link, counted once");
  intake.Finish();

  const std::vector<std::string> names = RootNames(o.paths);
  candidates.reserve(source.GetCount());
  for (source.ResetCursor(true); FileEntry* e = source.GetCurrent(); source.MoveNext()) {
    Candidate c;
    const auto found = rootOf.find(e->path);
    if (found == rootOf.end()) {
      c.onDisc = ListedOnDisc(e->path);
    } else {
      // The path begins with its PATH as given: what follows goes under the PATH's name.
      const std::string& given = o.paths[found->second];
      const std::string below = e->path.size() > given.size() ? ListedOnDisc(std::string_view(e->path).substr(given.size())) : std::string();
      const std::string& top = names[found->second];
      c.onDisc = below.empty() ? (top.empty() ? e->name : top) : top.empty() ? below : top + "/" + below;
    }
    c.data = job.onDisc ? FileBytes(job.model, e->size) : e->size;
    c.entry = e;
    c.records = job.onDisc ? FileRecordBytes(job.model, c.onDisc, e->size) : 0;
    candidates.push_back(std::move(c));
  }
  return true;
}

struct Disc {
  std::vector<int> files;  ///< candidate indices, ascending (the standard order)
  std::int64_t capacity = 0;
  std::int64_t raw = 0;     ///< the files' bytes
  std::int64_t total = 0;   ///< what is compared with the capacity: raw, or on the disc
  std::int64_t records = 0; ///< on the disc: the records of its files and folders
  std::int64_t folders = 0; ///< of those, the folders' share
  bool complete = true;
  double elapsedMs = 0;
};

// The records of a disc's files and folders, and the total the capacity is held against.
void Tally(Disc& d, const std::vector<Candidate>& c, const Job& job) {
  std::sort(d.files.begin(), d.files.end());
  DiscRecords records(job.model);
  d.raw = d.total = d.folders = 0;
  for (int i : d.files) {
    d.raw = SaturatingAdd(d.raw, c[i].entry->size);
    d.total = SaturatingAdd(d.total, c[i].data);
    d.folders -= c[i].records;
    if (job.onDisc) records.AddFile(c[i].onDisc, c[i].entry->size);
  }
  d.records = records.Bytes();
  d.folders += d.records;
  if (job.onDisc) d.total = SaturatingAdd(d.total, FixedBytes(job.model) + d.records);
  d.capacity = job.capacity;
}

// Candidate indices by weight, largest first, as the searches want them (with raw sizes, the
// standard order itself), and the weights in that order.
std::vector<int> ByWeight(const std::vector<Candidate>& c, bool withRecords, std::vector<std::int64_t>& weights) {
  std::vector<int> order(c.size());
  std::iota(order.begin(), order.end(), 0);
  const auto weight = [&](int i) { return c[i].data + (withRecords ? c[i].records : 0); };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weight(a) > weight(b); });
  weights.clear();
  for (int i : order) weights.push_back(weight(i));
  return order;
}

// What the records of all candidates take: room for records that any disc fits in.
std::int64_t AllRecords(const std::vector<Candidate>& c, const Job& job) {
  DiscRecords records(job.model);
  for (const Candidate& k : c) records.AddFile(k.onDisc, k.entry->size);
  return records.Bytes();
}

// The room left for the files' data once the fixed part and `records` are set aside.
std::int64_t DataRoom(const Job& job, std::int64_t records) {
  return job.onDisc ? job.capacity - FixedBytes(job.model) - records : job.capacity;
}

// The search packs the files' data (whole sectors, which makes exact fits easy to find); their
// records, with those of their folders, are known only once the files are chosen. So room is
// set aside for them, starting from none; when the chosen files need more, the search runs again
// with that much (and a little more) set aside, and in the end with room for every record of
// every candidate, which always holds.
template <typename Search>
bool WithRecordRoom(const std::vector<Candidate>& c, const Job& job, Search search) {
  std::int64_t records = 0;
  for (int round = 0;; ++round) {
    std::int64_t needed = 0;
    if (!search(DataRoom(job, records), needed)) return false;
    if (needed <= records) return true;
    records = round < 3 ? needed + needed / 16 : std::max(needed, AllRecords(c, job));
  }
}

class Progress {
 public:
  Progress(bool quiet, std::int64_t capacity) : m_quiet(quiet), m_tty(isatty(STDERR_FILENO) != 0), m_capacity(capacity) {}
  void Show(std::int64_t total) {
    if (m_quiet) return;
    const std::string text = "best so far " + Grouped(total) + " bytes, " + Grouped(m_capacity - total) + " to spare";
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
  std::int64_t m_capacity;
};

int Refuse(PlanRefusal refusal, std::int64_t capacity) {
  if (refusal == PlanRefusal::kNoFiles) {
    Complain("there is not a single file in the list");
  } else {
    Complain("every file in the list exceeds the capacity limit (" + Grouped(capacity) + " bytes" +
             (refusal == PlanRefusal::kPinnedOverCapacity ? ", less than the file system itself takes)" : ")"));
  }
  return 1;
}

PlanRefusal FitOne(const std::vector<Candidate>& c, const Job& job, const Options& o, Disc& disc) {
  std::vector<std::int64_t> weights;
  const std::vector<int> order = ByWeight(c, false, weights);
  PlanRefusal refusal = PlanRefusal::kNone;
  const auto start = std::chrono::steady_clock::now();
  WithRecordRoom(c, job, [&](std::int64_t room, std::int64_t& needed) {
    if (room < 0) {
      refusal = c.empty() ? PlanRefusal::kNoFiles : PlanRefusal::kPinnedOverCapacity;
      return false;
    }
    Progress progress(o.quiet, room);
    if (!g_signal) g_stop.store(0, std::memory_order_relaxed);
    DiscFit fit;
    {
      TimeLimit limit(job.timeLimit);
      fit = FitDisc(weights, room, job.maxFiles, g_stop, [&](std::int64_t total) { progress.Show(total); });
    }
    refusal = fit.refusal;
    if (refusal != PlanRefusal::kNone) return false;
    disc.files.clear();
    for (int i : fit.chosen) disc.files.push_back(order[i]);
    disc.complete = fit.complete;
    Tally(disc, c, job);
    needed = disc.records;
    return true;
  });
  disc.elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return refusal;
}

nlohmann::json FileJson(const Candidate& f) { return {{"path", f.entry->path}, {"size", f.entry->size}, {"on_disc", f.onDisc}}; }

nlohmann::json DiscJson(const Disc& d, const std::vector<Candidate>& c, std::size_t candidates) {
  nlohmann::json files = nlohmann::json::array();
  for (int i : d.files) files.push_back(FileJson(c[i]));
  return {{"capacity", d.capacity}, {"total", d.total},       {"raw_total", d.raw},       {"remainder", d.capacity - d.total},
          {"complete", d.complete}, {"candidates", candidates}, {"elapsed_ms", std::round(d.elapsedMs * 1000) / 1000},
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

// Path lists and linked folders, when asked for. Returns the exit status so far.
int Deliver(const std::vector<Disc>& discs, const std::vector<Candidate>& c, const Options& o) {
  std::vector<std::vector<DiscFile>> files;
  for (const Disc& d : discs) {
    files.emplace_back();
    for (int i : d.files) files.back().push_back({c[i].entry->path, c[i].onDisc});
  }
  int status = 0;
  if (!o.pathLists.empty()) {
    if (!WritePathLists(o.pathLists, files, [](const std::string& what) { Complain(what); })) status = 1;
    else if (!o.quiet)
      Complain("path lists written: master disc N with genisoimage -D -J -R -graft-points -path-list " + o.pathLists +
               "/discN.list -o discN.iso (or xorriso -as mkisofs with the same options)");
  }
  if (!o.linkInto.empty() && LinkInto(o.linkInto, files, o.copy, [](const std::string& what) { Complain(what); }) > 0) status = 1;
  return status;
}

// Files in the order of their paths on the disc, each disc filled until the next file does not
// fit. Files of a folder stay together, so few folders take room on several discs: where folders
// are many and files small, this needs fewer discs than packing by size.
std::vector<Disc> InPathOrder(const std::vector<Candidate>& c, const Job& job, std::vector<int>& oversized) {
  std::vector<int> order(c.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return c[a].onDisc < c[b].onDisc; });
  const std::int64_t room = DataRoom(job, 0);
  std::vector<Disc> discs;
  std::unique_ptr<DiscRecords> records;
  std::int64_t used = 0;
  for (int i : order) {
    const std::string& path = c[i].onDisc;
    if (c[i].data > room - DiscRecords(job.model).Adding(path, c[i].entry->size)) {
      oversized.push_back(i);
      continue;
    }
    if (discs.empty() || static_cast<int>(discs.back().files.size()) >= job.maxFiles ||
        used + c[i].data > room - records->Bytes() - records->Adding(path, c[i].entry->size)) {
      discs.emplace_back();
      records = std::make_unique<DiscRecords>(job.model);
      used = 0;
    }
    used += c[i].data;
    records->AddFile(path, c[i].entry->size);
    discs.back().files.push_back(i);
  }
  for (Disc& d : discs) Tally(d, c, job);
  std::sort(oversized.begin(), oversized.end());
  return discs;
}

int RunAll(const std::vector<Candidate>& c, const Job& job, const Options& o) {
  if (c.empty()) return Refuse(PlanRefusal::kNoFiles, job.capacity);
  // The files' own records go with their data here, so that the lower bound counts them; only
  // the folders need room set aside.
  std::vector<std::int64_t> weights;
  const std::vector<int> order = ByWeight(c, true, weights);
  DiscPlan plan;
  std::vector<Disc> discs;
  std::int64_t room = 0;
  const auto start = std::chrono::steady_clock::now();
  const bool planned = WithRecordRoom(c, job, [&](std::int64_t dataRoom, std::int64_t& needed) {
    if (dataRoom < 0) return false;
    room = dataRoom;
    if (!g_signal) g_stop.store(0, std::memory_order_relaxed);
    {
      TimeLimit limit(job.timeLimit > 0 ? job.timeLimit : kPlanSeconds);
      plan = PlanDiscs(weights, room, job.maxFiles, g_stop);
    }
    discs.assign(plan.discs.size(), Disc());
    needed = 0;
    for (std::size_t d = 0; d < discs.size(); ++d) {
      for (int i : plan.discs[d]) discs[d].files.push_back(order[i]);
      Tally(discs[d], c, job);
      needed = std::max(needed, discs[d].folders);
    }
    return true;
  });
  if (!planned) return Refuse(PlanRefusal::kPinnedOverCapacity, job.capacity);
  std::vector<int> unplaced;
  for (int i : plan.oversized) unplaced.push_back(order[i]);
  std::sort(unplaced.begin(), unplaced.end());
  // With room set aside for folders, the search's bound holds for less than a disc: the bound
  // for the whole disc is taken again.
  int lower = plan.lowerBound;
  if (room != DataRoom(job, 0)) {
    const std::size_t fits = std::find_if(weights.begin(), weights.end(), [&](std::int64_t w) { return w <= DataRoom(job, 0); }) - weights.begin();
    lower = DiscLowerBound(Span<const std::int64_t>(weights.data() + fits, weights.size() - fits), DataRoom(job, 0), job.maxFiles);
    std::vector<int> apart;
    std::vector<Disc> inOrder = InPathOrder(c, job, apart);
    if (inOrder.size() < discs.size()) {
      discs = std::move(inOrder);
      unplaced = std::move(apart);
    }
  }
  if (discs.empty()) return Refuse(PlanRefusal::kNothingFits, job.capacity);
  const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::sort(discs.begin(), discs.end(), [](const Disc& a, const Disc& b) { return a.files.front() < b.files.front(); });
  const bool minimum = static_cast<int>(discs.size()) <= lower;
  const std::string count = Plural(discs.size(), "disc", "discs") + (minimum ? " (minimum)" : " (lower bound " + std::to_string(lower) + ")");
  for (Disc& d : discs) {
    d.complete = plan.complete;
    d.elapsedMs = elapsed;
  }
  WarnLargeFiles(discs, c, job);
  if (o.json) {
    nlohmann::json all = {{"discs", nlohmann::json::array()}, {"unplaced", nlohmann::json::array()},
                          {"disc_count", discs.size()},        {"lower_bound", lower},
                          {"minimum", minimum},                {"complete", plan.complete}};
    for (const Disc& d : discs) all["discs"].push_back(DiscJson(d, c, c.size()));
    for (int i : unplaced) all["unplaced"].push_back(FileJson(c[i]));
    PrintJson(all);
  } else {
    for (std::size_t i = 0; i < discs.size(); ++i) {
      const std::string heading = (i ? "\ndisc " : "disc ") + std::to_string(i + 1) + " of " + std::to_string(discs.size());
      PrintDisc(discs[i], c, job, heading.c_str());
    }
    std::printf("\n%s%s\n", count.c_str(), plan.complete ? "" : ", search for fewer stopped");
    if (!unplaced.empty()) {
      std::printf("\nunplaced (larger than the capacity): %s\n", Plural(unplaced.size(), "file", "files").c_str());
      for (int i : unplaced) std::printf("%s  %s\n", Grouped(c[i].entry->size).c_str(), c[i].entry->path.c_str());
    }
  }
  return Deliver(discs, c, o);
}

int RunOne(const std::vector<Candidate>& c, const Job& job, const Options& o) {
  Disc disc;
  const PlanRefusal refusal = FitOne(c, job, o, disc);
  if (refusal != PlanRefusal::kNone) return Refuse(refusal, job.capacity);
  WarnLargeFiles({disc}, c, job);
  if (o.json) {
    PrintJson(DiscJson(disc, c, c.size()));
  } else if (o.null) {
    for (int i : disc.files) std::fwrite(c[i].entry->path.c_str(), 1, c[i].entry->path.size() + 1, stdout);
  } else {
    PrintDisc(disc, c, job, nullptr);
  }
  return Deliver({disc}, c, o);
}

// The options' values, checked; false after telling what is wrong.
bool ReadJob(const Options& o, Job& job, std::string& why) {
  bool preset = false;
  if (!ParseCapacity(o.capacityText, job.capacity, preset, why)) return why.insert(0, "--capacity: "), false;
  std::int64_t n = 0;
  if (!o.maxFilesText.empty()) {
    if (!ParseCount(o.maxFilesText, kNoFileLimit - 1, n, why)) return why.insert(0, "--max-files: "), false;
    job.maxFiles = n == 0 ? kNoFileLimit : static_cast<int>(n);
  }
  if (!o.timeLimitText.empty() && !ParseSeconds(o.timeLimitText, job.timeLimit, why)) return why.insert(0, "--time-limit: "), false;
  const bool byHand = !o.blockText.empty() || !o.reserveText.empty();
  if (o.raw && (byHand || o.onDisc)) return why = "--raw counts bytes as they are: it goes with neither --on-disc, --block nor --reserve", false;
  job.onDisc = !o.raw && (preset || o.onDisc || byHand);
  if (!o.blockText.empty()) {
    if (!ParseCount(o.blockText, std::int64_t{1} << 30, n, why) || n == 0) return why.insert(0, "--block: "), why += n == 0 ? "'0' is no block size" : "", false;
    job.model.block = n;
  }
  if (!o.reserveText.empty()) {
    if (!ParseCapacity(o.reserveText, n, preset, why) || preset) return why = "--reserve: '" + o.reserveText + "' is not a byte count", false;
    job.model.records = false;
    job.model.reserve = n;
  }
  if (o.paths.empty() && o.listFile.empty() && o.list0File.empty()) return why = "give PATHs to collect, or --list FILE", false;
  if (!o.paths.empty() + !o.listFile.empty() + !o.list0File.empty() > 1) return why = "give PATHs, --list FILE or --list0 FILE: one of them", false;
  if (o.copy && o.linkInto.empty()) return why = "--copy goes with --link-into", false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"Collects the files under PATHs and prints the combination whose total comes closest to the capacity\n"
               "without going over it. With a disc preset each file counts as it will on the disc (whole 2,048-byte\n"
               "sectors and the ISO 9660 + Joliet + Rock Ridge file system of genisoimage -J -R and xorriso), so the\n"
               "result masters and burns; --raw counts bytes as they are, exactly as the Zumibo window does.\n\n"
               "Examples:\n"
               "  zumibo-fit -c dvd ~/photos                      one DVD: chosen files, totals, remainder\n"
               "  zumibo-fit -c 4.7G --on-disc -m 300 --json ~/photos\n"
               "  zumibo-fit -c bd25 --all --link-into /srv/discs ~/archive   fewest discs, as folders of hard links\n"
               "  zumibo-fit -c cd700 --all --path-lists lists ~/music        then: genisoimage -D -J -R -graft-points\n"
               "                                                  -path-list lists/disc1.list -o disc1.iso\n"
               "  find . -type f -printf '%s\\t%p\\0' | zumibo-fit -c bd50 --list0 -",
               "zumibo-fit"};
  app.set_version_flag("--version", "zumibo-fit " ZUMIBO_VERSION);
  app.add_option("-c,--capacity", o.capacityText,
                 "a preset: cd650 cd700 dvd dvd-dl bd25 bd50 bd100 bd128; or bytes: 4,700,372,992, 700M, 4.7GB, 25GB "
                 "(powers of 1,000), 650MiB, 4GiB (powers of 1,024)")
      ->required();
  app.add_option("-m,--max-files", o.maxFilesText,
                 "at most N files in a combination searched (0: no limit, the default); as in the window, the greedy "
                 "start from the largest files is not cut to N. With --all: at most N files a disc");
  app.add_option("--list", o.listFile, "candidates from \"SIZE<TAB>PATH\" lines of FILE ('-' for stdin) instead of PATHs");
  app.add_option("--list0", o.list0File, "the same, each record ended by a NUL byte (find -printf '%s\\t%p\\0'), for names with newlines");
  auto* json = app.add_flag("--json", o.json, "print the result as one JSON object");
  auto* null = app.add_flag("-0,--null", o.null, "print only the chosen paths, each followed by a NUL byte (for xargs -0)");
  app.add_option("--time-limit", o.timeLimitText,
                 "stop each search after SEC seconds and keep the best found so far (with --all, the search for fewer "
                 "discs: 2 seconds unless given)");
  auto* all = app.add_flag("--all", o.all,
                           "spread every file over as few discs as possible; files larger than a disc are listed apart");
  app.add_flag("--raw", o.raw, "count each file's bytes as they are, as the window does (the default for a plain byte count)");
  app.add_flag("--on-disc", o.onDisc, "count files as on an ISO 9660 disc also for a capacity given in bytes");
  app.add_option("--block", o.blockText, "round each file up to whole blocks of N bytes (default 2,048; 1: no rounding)");
  app.add_option("--reserve", o.reserveText,
                 "set BYTES aside on each disc for the file system instead of the measured ISO 9660 model (e.g. 4MiB)");
  app.add_flag("-L,--follow-links", o.followLinks, "follow symbolic links inside folders (by default they are skipped, as du and find do)");
  app.add_option("--path-lists", o.pathLists,
                 "write DIR/disc1.list, ... of \"DISC-PATH=PATH\" graft points for genisoimage and xorriso "
                 "(-graft-points -path-list)");
  app.add_option("--link-into", o.linkInto,
                 "make DIR/disc1/..., of hard links to the chosen files, each under its path from the PATH it was "
                 "collected from (photos/2020/a.jpg), so same-named files never collide");
  app.add_flag("--copy", o.copy, "with --link-into: copy the files instead of linking them");
  app.add_flag("-q,--quiet", o.quiet, "no progress output");
  app.add_option("PATH", o.paths, "files and folders to collect (folders recursively, names beginning with '.' skipped)");
  null->excludes(json);
  null->excludes(all);
  Job job;
  try {
    app.parse(argc, argv);
    std::string why;
    if (!ReadJob(o, job, why)) throw CLI::ValidationError(why);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "zumibo-fit: %s\nTry 'zumibo-fit --help' for more information.\n", e.what());
    return 2;
  }

  // A signal stops the work in hand; what was found so far is printed, as after a time limit.
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);

  FileSet collected;
  std::vector<Candidate> candidates;
  if (!Collect(o, job, collected, candidates)) return g_signal ? 128 + g_signal : 2;
  return o.all ? RunAll(candidates, job, o) : RunOne(candidates, job, o);
}
