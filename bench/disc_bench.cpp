// Prints tables about discs:
//  - mastering: typical collections of 10 to 100,000 files (photos, songs, videos, documents in
//    nested folders, as sparse files) mastered by genisoimage and xorriso with -print-size, against
//    the disc model;
//  - fewest discs: seeded random instances of up to 200 files, 200 of files as people have them on
//    real discs and 200 of sizes drawn as shares of a disc (disc count against the proven lower
//    bound, time), thousands of shares of a BD 25 in 10 s each against the bound, and real trees
//    of this machine against dirsplit and fpart on the same sizes;
//  - scale: zumibo-fit on lists of 100,000 to 2,000,000 lines, one disc against --all, and memory.
//   zumibo-disc-bench [--quick | --random | --mastering | --thousands]
//   (--quick: small collections and lists only)

#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "discs/disc_tally.h"
#include "discs/model.h"
#include "discs/plan.h"
#include "files/path_walk.h"
#include "search/byte_count.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The first number a shell command prints, or -1.
long long Number(const std::string& command) {
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  long long n = -1;
  if (std::fscanf(p, "%lld", &n) != 1) n = -1;
  pclose(p);
  return n;
}

struct TypicalFile {
  std::string path;  // relative to the collection
  std::int64_t size;
};

enum Kind { kPhoto, kSong, kVideo, kDocument };
const std::vector<Kind> kAllKinds = {kPhoto, kSong, kVideo, kDocument};

// Photos by year and month, songs by artist and album, videos, documents: names and sizes as
// people have them, each file of a kind drawn from `kinds`.
std::vector<TypicalFile> Typical(int count, unsigned seed, const std::vector<Kind>& kinds = kAllKinds) {
  std::mt19937 rng(seed);
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char* docs[] = {"Report", "Invoice", "Letter to the bank", "Meeting notes", "Budget"};
  const char* types[] = {"pdf", "docx", "xlsx", "odt", "txt"};
  std::vector<TypicalFile> files;
  char name[256];
  for (int i = 0; i < count; ++i) {
    switch (kinds[pick(0, static_cast<int>(kinds.size()) - 1)]) {
      case kPhoto:
        std::snprintf(name, sizeof name, "Photos/%d/%02d/IMG_%d%d.JPG", pick(2015, 2024), pick(1, 12), pick(1000, 9999),
                      i);
        files.push_back({name, pick(1'500'000, 8'000'000)});
        break;
      case kSong:
        std::snprintf(name, sizeof name, "Music/Artist %d/Album %d (%d)/%02d - Track title number %d.mp3", pick(1, 40),
                      pick(1, 6), pick(1990, 2024), pick(1, 20), i);
        files.push_back({name, pick(2'000'000, 12'000'000)});
        break;
      case kVideo:
        std::snprintf(name, sizeof name, "Videos/%s/VID_%d0%d%d_%d.mp4", pick(0, 1) ? "Holidays" : "Family",
                      pick(2015, 2024), pick(1, 9), pick(10, 28), i);
        files.push_back({name, pick(20'000'000, 900'000'000)});
        break;
      case kDocument:
        std::snprintf(name, sizeof name, "Documents/%s/%d/%s %d v%d.%s", pick(0, 1) ? "Work" : "Home", pick(2019, 2024),
                      docs[pick(0, 4)], i, pick(1, 5), types[pick(0, 4)]);
        files.push_back({name, pick(1, 3'000'000)});
    }
  }
  return files;
}

// Every seventh file with a long name, as downloads and exported documents have them (70 to
// 160 characters), told apart within their first 103 characters as Joliet needs.
void LengthenNames(std::vector<TypicalFile>& files) {
  std::mt19937 rng(7);
  for (std::size_t i = 0; i < files.size(); i += 7) {
    const std::size_t slash = files[i].path.rfind('/');
    const std::size_t dot = files[i].path.rfind('.');
    const int length = std::uniform_int_distribution<int>(70, 160)(rng);
    std::string name = std::to_string(i) + " A long descriptive name of a file, as downloads and exports have them";
    while (static_cast<int>(name.size()) < length) name += " and more";
    name.resize(static_cast<std::size_t>(length));
    files[i].path = files[i].path.substr(0, slash + 1) + name + files[i].path.substr(dot);
  }
}

void Mastering(bool quick) {
  std::printf(
      "Mastering: typical collections (every seventh name 70 to 160 characters long) as genisoimage and xorriso\n"
      "report them (-D -J -joliet-long -R -print-size), and genisoimage with a UDF bridge (-udf), against the\n"
      "model for each (fixed part, records per name and folder, data in 2,048-byte sectors). Bytes. 100,000\n"
      "files are photos and documents only: an image counts its sectors in 32 bits, 8 TiB at most.\n\n");
  std::printf("%8s %8s %16s %16s %16s %16s %12s %16s %16s %12s\n", "files", "folders", "raw", "genisoimage", "xorriso",
              "model", "model-max", "genisoimage-udf", "model-udf", "udf-margin");
  const fs::path root = fs::temp_directory_path() / ("zumibo-bench-" + std::to_string(getpid()));
  DiscModel model, udf;
  udf.fileSystem = DiscFileSystem::kIsoUdf;
  for (int count : {10, 100, 1000, 2000, 5000, 20000, 100000}) {
    if (quick && count > 2000) break;
    fs::remove_all(root);
    // An ISO image counts its sectors in 32 bits (8 TiB in all): the largest collection holds only
    // photos and documents, some 300 GB.
    std::vector<TypicalFile> files =
        count < 100000 ? Typical(count, 1000u + count) : Typical(count, 1000u + count, {kPhoto, kDocument});
    LengthenNames(files);
    // The model's count, as the planner holds a disc of these files against it.
    PlanFiles planned, plannedUdf;
    std::int64_t raw = 0;
    for (const TypicalFile& f : files) {
      fs::create_directories((root / f.path).parent_path());
      std::ofstream(root / f.path).close();
      fs::resize_file(root / f.path, f.size);
      raw += f.size;
      const std::string_view path = f.path,
                             folder = path.substr(0, path.rfind('/') == std::string_view::npos ? 0 : path.rfind('/'));
      for (auto [p, m] : {std::pair<PlanFiles*, const DiscModel*>{&planned, &model}, {&plannedUdf, &udf}}) {
        p->nameStart.push_back(static_cast<std::uint32_t>(p->folderOfName.size()));
        p->size.push_back(f.size);
        p->data.push_back(FileBytes(*m, f.size));
        p->records.push_back(FileRecordBytes(*m, path, f.size));
        p->folderOfName.push_back(p->folders.Add(folder, *m));
      }
    }
    const auto predict = [](PlanFiles& p, const DiscModel& m) {
      p.nameStart.push_back(static_cast<std::uint32_t>(p.folderOfName.size()));
      DiscRules rules;
      rules.capacity = INT64_MAX;
      rules.onDisc = true;
      rules.model = m;
      std::vector<std::uint32_t> all(p.Count());
      for (std::uint32_t i = 0; i < all.size(); ++i) all[i] = i;
      return MakeDisc(std::move(all), p, rules).total;
    };
    std::size_t folders = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
      folders += it->is_directory();
    const std::string where = " '" + root.string() + "' 2>/dev/null";
    const long long g = Number("genisoimage -quiet -D -J -joliet-long -R -print-size" + where) * kSectorBytes;
    const long long x = Number("xorriso -as mkisofs -D -J -joliet-long -R -print-size" + where) * kSectorBytes;
    const long long u = Number("genisoimage -quiet -D -J -joliet-long -R -udf -print-size" + where) * kSectorBytes;
    const std::int64_t predicted = predict(planned, model);
    const std::int64_t predictedUdf = predict(plannedUdf, udf);
    std::printf("%8d %8zu %16lld %16lld %16lld %16lld %12lld %16lld %16lld %12lld\n", count, folders,
                static_cast<long long>(raw), g, x, static_cast<long long>(predicted),
                static_cast<long long>(predicted) - std::max(g, x), u, static_cast<long long>(predictedUdf),
                static_cast<long long>(predictedUdf) - u);
  }
  fs::remove_all(root);
  std::printf("\n");
}

// Runs the plan with a budget of CPU seconds, which a timer thread watching the planning
// thread's clock ends with the stop flag: other loads of the machine neither cut a plan short
// nor count in its time.
DiscPlan Plan(const std::vector<std::int64_t>& sizes, std::int64_t capacity, double seconds, double& cpu,
              bool timed = false) {
  clockid_t clock;
  pthread_getcpuclockid(pthread_self(), &clock);
  const auto used = [clock] {
    timespec t;
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
  };
  std::atomic<std::uint8_t> stop{0};
  std::atomic<bool> done{false};
  const double start = used();
  std::thread timer([&] {
    while (!done && used() - start < seconds) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = 1;
  });
  DiscPlan plan = PlanDiscs(sizes, capacity, kNoFileLimit, stop, timed ? seconds : 0);
  cpu = used() - start;
  done = true;
  timer.join();
  return plan;
}

// One class of seeded random instances of 20 to 200 files, 50 of them, planned with 1 s each.
struct RandomClass {
  std::string name;
  const char* disc;
  std::int64_t capacity;
  std::function<std::vector<std::int64_t>(std::mt19937_64&, int)> sizes;
  const char* before;  // instances at the bound before, where measured
};

void RandomInstances() {
  std::printf(
      "Fewest discs: seeded random instances of 20 to 200 files, 50 a class, 1 s of CPU time each at most (times\n"
      "are CPU seconds of the planning thread, so other loads of the machine do not count). 'at bound': the\n"
      "plan reaches the bound known before the search; 'minimum': it reaches a proven bound (the search may\n"
      "prove more discs needed); 'gap': discs over the proven bounds, summed; 'room': at the bound of each\n"
      "instance left open, the free space in all (bound discs less the total), median, share of a disc.\n"
      "'before': at the bound with L2 and bin completion alone.\n\n");
  const auto typical = [](const std::vector<Kind>& kinds) {
    return [kinds](std::mt19937_64& rng, int n) {
      std::vector<std::int64_t> out;
      for (const TypicalFile& f : Typical(n, static_cast<unsigned>(rng()), kinds)) out.push_back(f.size);
      return out;
    };
  };
  const auto shares = [](double lo, double hi) {
    return [lo, hi](std::mt19937_64& rng, int n) {
      std::uniform_int_distribution<std::int64_t> size(static_cast<std::int64_t>(lo * 1e6),
                                                       static_cast<std::int64_t>(hi * 1e6));
      std::vector<std::int64_t> out(n);
      for (auto& v : out) v = size(rng);
      return out;
    };
  };
  const std::vector<RandomClass> classes = {{"mixed files", "cd700", 737'280'000, typical(kAllKinds), ""},
                                            {"mixed files", "dvd", 4'700'372'992, typical(kAllKinds), ""},
                                            {"photos, songs", "cd700", 737'280'000, typical({kPhoto, kSong}), ""},
                                            {"videos", "dvd", 4'700'372'992, typical({kVideo}), ""},
                                            {"1% to 50%", "1e6", 1'000'000, shares(0.01, 0.5), "45"},
                                            {"10% to 70%", "1e6", 1'000'000, shares(0.1, 0.7), "32"},
                                            {"20% to 50%", "1e6", 1'000'000, shares(0.2, 0.5), "4"},
                                            {"1% to 100%", "1e6", 1'000'000, shares(0.01, 1.0), "35"}};
  std::printf("%-14s %6s %9s %9s %8s %5s %13s %7s %9s %9s %7s\n", "sizes", "disc", "instances", "at bound", "minimum",
              "gap", "discs/bound", "room", "median s", "worst s", "before");
  int realistic = 0, realisticMinimum = 0, all = 0, allMinimum = 0;
  for (std::size_t c = 0; c < classes.size(); ++c) {
    int atBound = 0, minimum = 0, discs = 0, bounds = 0;
    std::vector<double> times, rooms;
    for (int k = 0; k < 50; ++k) {
      // The share classes keep the seeds they were first measured with.
      std::mt19937_64 rng(c < 4 ? 5000 + 1000 * c + k : 1000 * (c - 4) + k);
      const int n = std::uniform_int_distribution<int>(20, 200)(rng);
      std::vector<std::int64_t> sizes = classes[c].sizes(rng, n);
      std::sort(sizes.rbegin(), sizes.rend());
      double elapsed = 0;
      const DiscPlan plan = Plan(sizes, classes[c].capacity, 1.0, elapsed);
      std::int64_t total = 0;
      for (std::int64_t s : sizes) total += s <= classes[c].capacity ? s : 0;
      atBound += static_cast<int>(plan.discs.size()) <=
                 DiscLowerBound(std::vector<std::int64_t>(sizes.begin() + plan.oversized.size(), sizes.end()),
                                classes[c].capacity, kNoFileLimit);
      minimum += plan.Minimum();
      if (!plan.Minimum())
        rooms.push_back(static_cast<double>(plan.lowerBound * classes[c].capacity - total) / classes[c].capacity);
      discs += static_cast<int>(plan.discs.size());
      bounds += plan.lowerBound;
      times.push_back(elapsed);
    }
    std::sort(times.begin(), times.end());
    std::sort(rooms.begin(), rooms.end());
    const std::string room = rooms.empty() ? "-" : std::to_string(rooms[rooms.size() / 2]).substr(0, 5);
    std::printf("%-14s %6s %9d %9d %8d %5d %6d/%-6d %7s %9.4f %9.4f %7s\n", classes[c].name.c_str(), classes[c].disc,
                50, atBound, minimum, discs - bounds, discs, bounds, room.c_str(), times[times.size() / 2],
                times.back(), classes[c].before);
    all += 50;
    allMinimum += minimum;
    if (c < 4) {
      realistic += 50;
      realisticMinimum += minimum;
    }
  }
  std::printf("files as people have them: %d of %d at a proven minimum (%.1f%%); all: %d of %d (%.1f%%)\n\n",
              realisticMinimum, realistic, 100.0 * realisticMinimum / realistic, allMinimum, all,
              100.0 * allMinimum / all);
}

// Thousands of sizes drawn as shares of a BD 25, planned as --all plans them with --time-limit 10,
// three seeds a class, beside the lower bound.
void Thousands() {
  std::printf("Fewest discs at thousands of items: shares of a BD 25, 10 s of CPU time each\n\n");
  std::printf("%-10s %6s %5s %7s %7s %8s %7s\n", "sizes", "items", "seed", "discs", "bound", "above", "cpu s");
  constexpr std::int64_t kBd25 = 25'025'314'816;
  for (const auto& [lo, hi] : {std::pair{0.1, 0.7}, std::pair{0.2, 0.5}}) {
    for (int n : {1000, 3000}) {
      for (int seed = 1; seed <= 3; ++seed) {
        std::mt19937_64 rng(static_cast<std::uint64_t>(n) * 100 + seed);
        std::uniform_int_distribution<std::int64_t> size(static_cast<std::int64_t>(lo * kBd25),
                                                         static_cast<std::int64_t>(hi * kBd25));
        std::vector<std::int64_t> sizes(n);
        for (auto& v : sizes) v = size(rng);
        std::sort(sizes.rbegin(), sizes.rend());
        double cpu = 0;
        const DiscPlan plan = Plan(sizes, kBd25, 10.0, cpu, true);
        const double above = 100.0 * (static_cast<double>(plan.discs.size()) - plan.lowerBound) / plan.lowerBound;
        std::printf("%3.0f%%-%2.0f%% %6d %5d %7zu %7d %7.2f%% %7.2f\n", lo * 100, hi * 100, n, seed, plan.discs.size(),
                    plan.lowerBound, above, cpu);
        std::fflush(stdout);
      }
    }
  }
  std::printf("\n");
}

// dirsplit and fpart each read a list of "SIZE PATH" lines and pack it into discs of `capacity`,
// counting bytes as they are (no block rounding, no overhead): the same sizes as zumibo's plan.
int Dirsplit(const std::string& list, std::int64_t capacity, const std::string& work) {
  const std::string command = "cd '" + work + "' && rm -f vol_* && dirsplit -T '" + list + "' -s " +
                              std::to_string(capacity) +
                              " -b 1 -o 0 -p vol_ >/dev/null 2>&1; ls vol_* 2>/dev/null | wc -l";
  return static_cast<int>(Number(command));
}

int Fpart(const std::string& list, std::int64_t capacity, const std::string& work) {
  const std::string command = "cd '" + work + "' && fpart -a -i '" + list + "' -s " + std::to_string(capacity) +
                              " -o part >/dev/null 2>&1; ls part.* 2>/dev/null | wc -l; rm -f part.*";
  return static_cast<int>(Number(command));
}

void RealTrees() {
  std::printf(
      "Fewest discs on real trees (sizes as they are, links skipped, hard links once), against dirsplit and fpart\n"
      "given the same sizes (seconds: CPU time of the plan):\n\n");
  std::printf("%-22s %9s %8s %7s %7s %9s %7s %9s\n", "tree", "files", "disc", "bound", "zumibo", "seconds", "dirsplit",
              "fpart");
  const std::string work = (fs::temp_directory_path() / ("zumibo-bench-" + std::to_string(getpid()))).string();
  fs::create_directories(work);
  const std::string list = work + "/sizes.txt";
  struct Tree {
    const char* path;
    const char* disc;
    std::int64_t capacity;
  };
  const Tree trees[] = {{"/usr/share/doc", "cd650", 681'984'000}, {"/usr/include", "cd650", 681'984'000},
                        {"/usr/share", "cd700", 737'280'000},     {"/usr/lib", "dvd", 4'700'372'992},
                        {"/usr", "cd700", 737'280'000},           {"/usr", "dvd", 4'700'372'992}};
  for (const Tree& t : trees) {
    if (!fs::exists(t.path)) continue;
    std::vector<std::pair<std::int64_t, std::string>> files;
    PathWalker walker([&](FileEntry e) { files.emplace_back(e.size, e.path); });
    walker.SkipLinks([](const std::string&) {});
    walker.ListFilesOnce([](const std::string&) {});
    walker.AddPath(t.path);
    std::sort(files.rbegin(), files.rend());
    std::vector<std::int64_t> sizes;
    std::ofstream out(list);
    for (const auto& [size, path] : files) {
      sizes.push_back(size);
      if (path.find('\n') == std::string::npos) out << size << ' ' << path << '\n';
    }
    out.close();
    double elapsed = 0;
    const DiscPlan plan = Plan(sizes, t.capacity, 2.0, elapsed);
    std::printf("%-22s %9zu %8s %7d %7zu %9.3f %7d %9d\n", (std::string(t.path) + "").c_str(), files.size(), t.disc,
                plan.lowerBound, plan.discs.size(), elapsed, Dirsplit(list, t.capacity, work),
                Fpart(list, t.capacity, work));
  }
  fs::remove_all(work);
  std::printf("\n");
}

// Seconds zumibo-fit takes, its output going to `out`, and the most memory it held (KiB).
double Run(const std::string& args, const std::string& out, long& peakKiB) {
  const std::string command = std::string(ZUMIBO_FIT_PATH) + " -q " + args + " >'" + out + "' 2>/dev/null";
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
  peakKiB = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Since(start) : -1;
}

void Scale(bool quick) {
  std::printf(
      "Scale: zumibo-fit on lists of random sizes (1 byte to 20 MB) for DVDs: seconds, and the most memory the\n"
      "process held. 'before': --all --json as it was at 1,000,000 and 2,000,000 lines, a file set and a JSON\n"
      "document of every file (940 MB and 2.07 GB).\n\n");
  std::printf("%10s %8s %10s %10s %8s %14s %14s\n", "lines", "discs", "one disc", "--all", "ratio", "--all memory",
              "one memory");
  const std::string list = (fs::temp_directory_path() / ("zumibo-bench-list-" + std::to_string(getpid()))).string();
  for (int lines : {100'000, 200'000, 1'000'000, 2'000'000}) {
    if (quick && lines > 100'000) break;
    std::mt19937_64 rng(lines);
    std::ofstream out(list);
    for (int i = 0; i < lines; ++i)
      out << std::uniform_int_distribution<int>(1, 20'000'000)(rng) << "\t/data/d" << i % 997 << "/f" << i << ".bin\n";
    out.close();
    long oneKiB = 0, allKiB = 0;
    const double one = Run("-c dvd --list " + list, list + ".out", oneKiB);
    const double all = Run("-c dvd --all --json --list " + list, list + ".out", allKiB);
    const long long discs = Number("sed 's/.*\"disc_count\":\\([0-9]*\\).*/\\1/' '" + list + ".out'");
    std::printf("%10d %8lld %10.2f %10.2f %7.1fx %11ld MB %11ld MB\n", lines, discs, one, all, all / one, allKiB / 1024,
                oneKiB / 1024);
  }
  fs::remove(list);
  fs::remove(list + ".out");
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  const bool quick = only == "--quick";
  if (only.empty() || quick || only == "--mastering") Mastering(quick);
  if (only == "--mastering") return 0;
  if (only.empty() || only == "--thousands") Thousands();
  if (only == "--thousands") return 0;
  RandomInstances();
  if (only == "--random") return 0;
  RealTrees();
  Scale(quick);
  return 0;
}
