// Disc sets: what a catalog costs at scale. Catalogs of 100,000 and 1,000,000 photos (a folder a
// day, a BD 25 of about 4,000 photos a disc) are recorded; then the look-ups a delivery run makes
// for every file it collected, 100 of them new; the catalog's bytes a file; zumibo-fit find over
// them; and SHA-256 by libcrypto beside sha256sum on the same file. The walk of the files and
// their hashing are not part of the look-ups: a run hashes only the files not held.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sets/catalog.h"
#include "sets/sha256.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The i-th photo of the collection: a folder a day from 2000 on, 40 photos a day.
CatalogFile Photo(std::size_t i, std::mt19937_64& random) {
  const std::size_t day = i / 40;
  char folder[32], name[48];
  const int year = 2000 + static_cast<int>(day / 360), month = 1 + static_cast<int>(day / 30 % 12),
            dayOfMonth = 1 + static_cast<int>(day % 30);
  std::snprintf(folder, sizeof folder, "%d/%d-%02d-%02d", year, year, month, dayOfMonth);
  std::snprintf(name, sizeof name, "IMG_%d%02d%02d_%06zu.jpg", year, month, dayOfMonth, i % 40 * 1371);
  CatalogFile f;
  f.source = std::string("/home/me/photos/") + folder + "/" + name;
  f.onDisc = std::string("photos/") + folder + "/" + name;
  f.size = 1'500'000 + static_cast<std::int64_t>(random() % 6'500'000);
  f.mtimeNs = 946'684'800'000'000'000 + static_cast<std::int64_t>(day) * 86'400'000'000'000 +
              static_cast<std::int64_t>(random() % 86'400'000'000'000);
  for (std::size_t k = 0; k < 32; k += 8) {
    const std::uint64_t r = random();
    std::memcpy(f.sha256.data() + k, &r, 8);
  }
  return f;
}

// Runs the program with the arguments, its output thrown away; its CPU and wall seconds.
void RunCommand(const std::vector<std::string>& command, double& cpu, double& wall) {
  const double start = WallSeconds();
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage u{};
  wait4(pid, &status, 0, &u);
  wall = WallSeconds() - start;
  cpu = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
        static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Figures {
  double recordSeconds = 0, bytesPerFile = 0, openCpu = 0, planCpu = 0, contentCpu = 0;
  double findNameWall = 0, findNameCpu = 0, findFolderWall = 0, findFolderCpu = 0;
  std::size_t newFiles = 0;
};

// A catalog of `count` photos recorded, then used as a delivery run and find use it.
bool Measure(const std::string& dir, std::size_t count, Figures& figures) {
  const std::string path = dir + "/photos-" + std::to_string(count) + ".db";
  std::mt19937_64 random(count);
  std::vector<CatalogFile> photos;
  for (std::size_t i = 0; i < count + 100; ++i) photos.push_back(Photo(i, random));
  std::string why;
  {
    Catalog c;
    const double start = WallSeconds();
    std::vector<CatalogDisc> discs;
    if (!c.Open(path, Catalog::Access::kDeliver, why)) return std::fprintf(stderr, "%s\n", why.c_str()), false;
    for (std::size_t i = 0; i < count; ++i) {
      if (i % 4000 == 0) discs.push_back({c.NewLabel(static_cast<int>(discs.size() + 1)), {}});
      discs.back().files.push_back(photos[i]);
    }
    if (!c.Record(discs, why)) return std::fprintf(stderr, "%s\n", why.c_str()), false;
    figures.recordSeconds = WallSeconds() - start;
  }
  struct stat st {};
  stat(path.c_str(), &st);
  figures.bytesPerFile = static_cast<double>(st.st_size) / static_cast<double>(count);

  // A delivery run: the catalog opened, checked and locked, every collected file looked up, the
  // new ones (and one held) looked up by content.
  {
    std::vector<FileKey> keys;
    for (const CatalogFile& f : photos) keys.push_back({f.source, f.size, f.mtimeNs});
    const double start = CpuSeconds();
    Catalog c;
    std::vector<int> discs;
    if (!c.Open(path, Catalog::Access::kDeliver, why)) return std::fprintf(stderr, "%s\n", why.c_str()), false;
    figures.openCpu = CpuSeconds() - start;
    if (!c.Held(keys, discs, why)) return std::fprintf(stderr, "%s\n", why.c_str()), false;
    figures.planCpu = CpuSeconds() - start;
    for (int d : discs) figures.newFiles += d == 0;
    std::vector<Sha256Digest> digests;
    for (std::size_t i = count; i < photos.size(); ++i) digests.push_back(photos[i].sha256);
    digests.push_back(photos[count / 2].sha256);
    const double contentStart = CpuSeconds();
    if (!c.HeldContent(digests, discs, why)) return std::fprintf(stderr, "%s\n", why.c_str()), false;
    figures.contentCpu = CpuSeconds() - contentStart;
  }
  RunCommand({ZUMIBO_FIT_PATH, "find", path, "IMG_*_001371.jpg"}, figures.findNameCpu, figures.findNameWall);
  RunCommand({ZUMIBO_FIT_PATH, "find", path, "/home/me/photos/2003/2003-05-1?/"}, figures.findFolderCpu,
             figures.findFolderWall);
  unlink(path.c_str());
  return true;
}

}  // namespace

int main() {
  char folderTemplate[] = "/tmp/zumibo-sets-bench-XXXXXX";
  const std::string dir = mkdtemp(folderTemplate);
  Figures figures[2];
  if (!Measure(dir, 100'000, figures[0]) || !Measure(dir, 1'000'000, figures[1])) return 1;
  std::printf("Disc sets: catalogs of photos, 40 a folder (a day), 4,000 a disc (a BD 25)\n");
  std::printf("%-58s %10s %10s\n", "", "100,000", "1,000,000");
  const auto row = [&](const char* what, double Figures::*figure, const char* format) {
    std::printf("%-58s", what);
    for (const Figures& f : figures) std::printf(format, f.*figure);
    std::printf("\n");
  };
  row("recording them, one transaction (s)", &Figures::recordSeconds, " %10.2f");
  row("catalog bytes a file", &Figures::bytesPerFile, " %10.0f");
  row("a delivery run: open, check, lock (CPU s)", &Figures::openCpu, " %10.3f");
  std::printf("%-58s", "  and look up every file, 100 new among them (CPU s)");
  for (const Figures& f : figures) std::printf(" %10.3f", f.newFiles == 100 ? f.planCpu : -1.0);
  std::printf("\n");
  row("  the 100 new and 1 held by content (CPU s)", &Figures::contentCpu, " %10.4f");
  row("find 'IMG_*_001371.jpg', one name in each folder (s)", &Figures::findNameWall, " %10.3f");
  row("  its CPU (s)", &Figures::findNameCpu, " %10.3f");
  row("find '/home/me/photos/2003/2003-05-1?/', 10 folders (s)", &Figures::findFolderWall, " %10.3f");
  row("  its CPU (s)", &Figures::findFolderCpu, " %10.3f");

  // SHA-256: libcrypto in memory and over a file in the page cache, beside sha256sum.
  constexpr std::size_t kBytes = std::size_t{1} << 30;
  const std::unique_ptr<char[]> data(new char[kBytes]);
  std::mt19937_64 random(1);
  for (std::size_t i = 0; i < kBytes; i += 8) {
    const std::uint64_t r = random();
    std::memcpy(data.get() + i, &r, 8);
  }
  Sha256 hasher;
  double start = CpuSeconds();
  for (std::size_t at = 0; at < kBytes; at += 1 << 20) hasher.Update(data.get() + at, 1 << 20);
  hasher.Finish();
  const double memorySeconds = CpuSeconds() - start;
  const std::string file = dir + "/one-gib";
  std::FILE* out = std::fopen(file.c_str(), "wb");
  std::fwrite(data.get(), 1, kBytes, out);
  std::fclose(out);
  Sha256Digest digest{};
  std::uint64_t size = 0;
  std::string why;
  HashFile(file, digest, size, nullptr, why);  // into the page cache
  start = CpuSeconds();
  HashFile(file, digest, size, nullptr, why);
  const double fileSeconds = CpuSeconds() - start;
  double sumCpu = 0, sumWall = 0;
  RunCommand({"/usr/bin/sha256sum", file}, sumCpu, sumWall);
  std::printf(
      "\nSHA-256 of 1 GiB, GB a CPU second: libcrypto in memory %.2f, libcrypto reading a cached file %.2f, "
      "sha256sum reading it %.2f\n",
      kBytes / memorySeconds / 1e9, kBytes / fileSeconds / 1e9, kBytes / sumCpu / 1e9);
  unlink(file.c_str());
  rmdir(dir.c_str());
  return 0;
}
