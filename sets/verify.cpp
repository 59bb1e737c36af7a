#include "sets/verify.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace {

constexpr std::size_t kLargestSetFile = 64 * 1024;

// The file's bytes, up to a little past `limit`; false with errno in `error` when it cannot be read.
bool ReadSmall(const std::string& path, std::size_t limit, std::string& text, int& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return error = errno, false;
  text.clear();
  char buffer[4096];
  ssize_t n = 0;
  while (text.size() <= limit && ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)))
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  error = errno;
  close(fd);
  return n >= 0;
}

// Every entry below `dir` that is not a folder, as a path relative to it, with '/'.
void Entries(const std::string& dir, const std::string& prefix, std::vector<std::string>& paths) {
  DIR* folder = opendir((dir + "/" + prefix).c_str());
  if (!folder) return;
  while (const dirent* e = readdir(folder)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = prefix + name;
    struct stat st {};
    const bool isFolder = e->d_type == DT_DIR || (e->d_type == DT_UNKNOWN &&
                                                  lstat((dir + "/" + path).c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    if (isFolder) Entries(dir, path + "/", paths);
    else paths.push_back(path);
  }
  closedir(folder);
}

}  // namespace

bool VerifyDisc(Catalog& catalog, const std::string& dir, VerifyReport& report, const ReadProgress& progress,
                std::string& why) {
  report = VerifyReport();
  const std::string setFile = dir + "/" + kSetFileName;
  std::string text;
  int error = 0;
  if (!ReadSmall(setFile, kLargestSetFile, text, error))
    return why = dir + " is not a disc of a set: no " + kSetFileName + " (" + std::strerror(error) + ")", false;
  DiscLabel label;
  if (!ParseSetFile(text, label, why)) return why = setFile + " is not a set file: " + why, false;
  if (label.setId != catalog.SetId())
    return why = dir + " is disc " + std::to_string(label.number) + " of set \"" + label.setName + "\", not of set \"" +
                 catalog.SetName() + "\" that " + catalog.Path() + " holds",
           false;
  DiscSummary disc;
  std::vector<CatalogFile> files;
  if (!catalog.DiscFiles(label.number, disc, files, why))
    return why += " (" + dir + " is disc " + std::to_string(label.number) + " of " + label.date +
                  ": forgotten, or its run was not recorded)",
           false;
  if (disc.discId != label.discId)
    return why = dir + " is a disc " + std::to_string(label.number) + " written on " + label.date + ", not the disc " +
                 std::to_string(label.number) + " of " + disc.date + " that " + catalog.Path() + " holds (disc-id " +
                 label.discId + ", not " + disc.discId + ")",
           false;
  report.label = label;
  report.label.setName = catalog.SetName();
  report.label.date = disc.date;
  report.files = files.size();
  report.bytes = static_cast<std::uint64_t>(disc.bytes);

  std::set<std::string> expected = {kSumsName, kSetFileName};
  std::vector<SumsEntry> sums;
  std::uint64_t done = 0;
  for (const CatalogFile& f : files) {
    expected.insert(f.onDisc);
    sums.push_back({f.onDisc, f.sha256});
    const std::string path = dir + "/" + f.onDisc;
    const std::uint64_t size = static_cast<std::uint64_t>(f.size);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) report.missing.push_back(f.onDisc);
      else report.corrupt.emplace_back(f.onDisc, std::string("cannot be read: ") + std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
      report.corrupt.emplace_back(f.onDisc, "not a regular file");
    } else if (static_cast<std::uint64_t>(st.st_size) != size) {
      report.corrupt.emplace_back(f.onDisc, std::to_string(st.st_size) + " bytes, not " + std::to_string(size));
    } else {
      Sha256Digest digest{};
      std::uint64_t read = 0;
      std::string failure;
      const auto told = [&](std::uint64_t d, std::uint64_t) { return !progress || progress(done + d, report.bytes); };
      if (!HashFile(path, digest, read, told, failure)) {
        if (failure == "stopped") return why = "stopped", false;
        report.corrupt.emplace_back(f.onDisc, "cannot be read: " + failure);
      } else if (read != size) {
        report.corrupt.emplace_back(f.onDisc, std::to_string(read) + " bytes read, not " + std::to_string(size));
      } else if (digest != f.sha256) {
        report.corrupt.emplace_back(f.onDisc, "SHA-256 differs");
      }
    }
    done += size;
    if (progress && !progress(done, report.bytes)) return why = "stopped", false;
  }

  // The two files of the set, as the catalog would write them.
  const std::pair<const char*, std::string> own[] = {{kSumsName, SumsText(sums)},
                                                     {kSetFileName, SetFileText(report.label)}};
  for (const auto& [name, wanted] : own) {
    if (!ReadSmall(dir + "/" + name, wanted.size() + 1, text, error)) {
      if (error == ENOENT) report.missing.push_back(name);
      else report.corrupt.emplace_back(name, std::string("cannot be read: ") + std::strerror(error));
    } else if (text != wanted) {
      report.corrupt.emplace_back(name, "differs from the catalog's");
    }
  }

  std::vector<std::string> present;
  Entries(dir, "", present);
  for (std::string& path : present) {
    if (!expected.count(path)) report.extra.push_back(std::move(path));
  }
  std::sort(report.extra.begin(), report.extra.end());
  std::sort(report.missing.begin(), report.missing.end());
  std::sort(report.corrupt.begin(), report.corrupt.end());
  return true;
}
