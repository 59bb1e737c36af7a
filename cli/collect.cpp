#include "cli/collect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "cli/list_input.h"
#include "cli/messages.h"
#include "cli/path_lists.h"
#include "cli/stopping.h"
#include "cli/walk.h"
#include "discs/model.h"

namespace {

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
    for (int n = 2; !name.empty() && std::find(names.begin(), names.end(), unique) != names.end(); ++n)
      unique = name + "~" + std::to_string(n);
    names.push_back(unique);
  }
  return names;
}

bool ReadListed(const Options& o, const Job& job, Collection& files) {
  const std::string list = o.listFile.empty() ? o.list0File : o.listFile;
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
  std::size_t excluded = 0, resized = 0;
  Progress progress(o.quiet);
  const ListReading r = ReadList(
      fd, o.listFile.empty() ? '\0' : '\n', g_signal,
      [&](std::int64_t size, std::string_view path, long record) {
        const std::string onDisc = ListedOnDisc(path);
        if (!job.excludes.Empty() && job.excludes.Excluded(onDisc, false)) {
          ++excluded;
          return;
        }
        // What is written must be there to master: a listed folder or a path to nothing is not.
        // It is planned with the size it has now, whatever the list says, and the names of one
        // file (hard links, a link and its file) are one file with several names.
        if (job.delivering) {
          const std::string source(path);
          struct stat file;
          const bool exists = stat(source.c_str(), &file) == 0;
          if (!exists || !S_ISREG(file.st_mode)) {
            const std::string why = exists ? "not a regular file" : std::strerror(errno);
            Warn(name + ":" + std::to_string(record) + ": " + source + ": " + why + ", skipped");
            files.leftOut.push_back({source, size, why + " (line " + std::to_string(record) + ")"});
            return;
          }
          resized += file.st_size != size;
          files.Add(path, onDisc, file.st_size, StatOf(file), true);
        } else {
          files.Add(path, onDisc, size);
        }
        if ((record & 1023) == 0 && progress.Due())
          progress.Show("reading " + name + ": " + Plural(files.Count(), "file", "files"));
      },
      [&](long record, const std::string& why) {
        Warn(name + ":" + std::to_string(record) + ": " + why + ", skipped");
      });
  if (fd != STDIN_FILENO) close(fd);
  switch (r.end) {
    case ListEnd::kComplete:
      break;
    case ListEnd::kInterrupted:
      Complain("interrupted while reading " + name + " (at record " + std::to_string(r.record) +
               "): the list was cut short, nothing planned");
      return false;
    case ListEnd::kTooLong:
      Complain(name + ":" + std::to_string(r.record) + ": a record longer than " + Grouped(kLongestRecord) +
               " bytes: not a list");
      return false;
    case ListEnd::kUnreadable:
      Complain("cannot read " + name + ": " + std::strerror(r.error));
      return false;
  }
  if (excluded) Complain(Plural(excluded, "listed file", "listed files") + " left out by --exclude");
  if (resized)
    Warn(Plural(resized, "listed file has", "listed files have") +
         " another size than the list says: planned with the size each has now");
  return true;
}

// The folders results are written to, where they exist: a PATH that holds them must not collect
// an earlier run's results.
std::vector<Identity> ResultFolders(const Options& o) {
  std::vector<Identity> folders;
  for (const std::string* dir : {&o.linkInto, &o.pathLists}) {
    struct stat st;
    if (!dir->empty() && stat(dir->c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      folders.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
  }
  return folders;
}

bool WalkPaths(const Options& o, const Job& job, Collection& files) {
  WalkRules rules;
  rules.followLinks = o.followLinks;
  rules.emptyFolders = o.keepEmptyDirs;
  rules.excludes = job.excludes.Empty() ? nullptr : &job.excludes;
  rules.skipFolders = ResultFolders(o);
  rules.stop = &g_stop;
  Progress progress(o.quiet);
  rules.everyThousand = [&] {
    if (progress.Due()) progress.Show("collecting: " + Plural(files.Count(), "file", "files"));
  };
  FitWalker walker(files, rules);
  const std::vector<std::string> names = RootNames(o.paths);
  for (std::size_t root = 0; root < o.paths.size() && !walker.Stopped(); ++root)
    walker.AddRoot(o.paths[root], names[root]);
  if (walker.Stopped() || g_signal) {
    Complain("interrupted while collecting files: the list was cut short, nothing planned");
    return false;
  }
  const WalkCounts& n = walker.Counts();
  if (n.links) Complain(Plural(n.links, "symbolic link", "symbolic links") + " skipped (-L follows them)");
  if (n.loops) Complain(Plural(n.loops, "link", "links") + " back into a folder above them not followed");
  if (n.special) Complain(Plural(n.special, "device, pipe or socket", "devices, pipes and sockets") + " skipped");
  if (n.excluded) Complain(Plural(n.excluded, "file or folder", "files and folders") + " left out by --exclude");
  return true;
}

// With --whole, each file inside a folder that deep below its PATH (for a list, below the disc's
// root) belongs to that folder's group.
void GroupFolders(const Options& o, const Job& job, Collection& files) {
  if (job.wholeDepth < 0) return;
  std::unordered_set<std::string> tops;
  for (const std::string& top : RootNames(o.paths)) {
    if (!top.empty()) tops.insert(top);
  }
  std::unordered_map<std::string, std::uint32_t> groups;
  for (std::size_t i = 0; i < files.Count(); ++i) {
    const std::string_view path = files.OnDisc(files[i]);
    const std::size_t slash = path.find('/');
    const bool underTop = !tops.empty() && tops.count(std::string(path.substr(0, slash)));
    const int keep = job.wholeDepth + (underTop ? 1 : 0);
    std::size_t end = 0, at = 0;
    int found = 0;
    for (; found < keep && (at = path.find('/', at)) != std::string_view::npos; ++found, ++at) end = at;
    if (found < keep) continue;  // a file above that depth goes by itself
    const std::string folder(path.substr(0, end));
    const auto [it, added] = groups.emplace(folder, static_cast<std::uint32_t>(files.groups.size()));
    if (added) files.groups.push_back(folder);
    files[i].group = it->second;
  }
  if (groups.empty() && files.Count() > 0)
    Warn("--whole " + std::to_string(job.wholeDepth) + ": no folder is that deep below " +
         (o.paths.empty() ? std::string("the disc's root") : "a PATH") + ": every file is planned by itself");
}

}  // namespace

bool Collect(const Options& o, const Job& job, RunSet& set, Collection& files) {
  if (!(o.paths.empty() ? ReadListed(o, job, files) : WalkPaths(o, job, files))) return false;
  // PATHs have names of their own on the disc; a list's paths may come to the same one.
  const auto interrupted = [] {
    if (g_signal) Complain("interrupted while collecting files: nothing planned");
    return g_signal != 0;
  };
  const std::size_t renamed = files.Finish(o.paths.empty());
  if (interrupted()) return false;
  if (renamed)
    Warn(Plural(renamed, "path comes", "paths come") + " to the disc again: numbered (a~2.jpg) to keep each file");
  // What is written is mastered: genisoimage must take every name, and Joliet tell them apart.
  if (job.delivering) {
    const Collection::NameMending names = files.MendForMastering();
    if (names.mended)
      Warn(Plural(names.mended, "name has", "names have") +
           " bytes that are not UTF-8 or characters past U+FFFF, which genisoimage cannot master: they are '_' "
           "on the disc");
    if (names.renamed)
      Warn(Plural(names.renamed, "name", "names") +
           " numbered on the disc (name~2.ext): Joliet would not tell them from another in the same folder");
  }
  std::size_t named = 0;
  for (const Candidate& c : files.Files()) named += c.nameCount > 1;
  if (named)
    Complain(Plural(named, "file has", "files have") +
             " several names (hard links, or paths along links): the data counted once, every name on the disc");
  GroupFolders(o, job, files);
  // A name no path list can hold never reaches a disc that is mastered from one.
  if (!o.pathLists.empty()) {
    std::vector<bool> apart(files.Count(), false);
    std::size_t count = 0;
    std::string line;
    std::string listed, why;
    for (std::size_t i = 0; i < files.Count(); ++i) {
      for (std::uint32_t k = 0; k < files[i].nameCount; ++k) {
        // The line holds the file a link leads to: that name must fit a line too.
        const std::string source(files.Source(files[i], k)), onDisc(files.OnDisc(files[i], k));
        if (!ListedSource(source, listed, why)) listed = source;
        if (!GraftLine({listed, onDisc}, line)) apart[i] = true;
      }
      count += apart[i];
    }
    if (count) files.SetApart(apart, "a path list cannot hold its name (use --link-into)");
  }
  if (!set.TakeOutHeld(files, o.byContent, o.quiet)) return false;
  files.Measure(job.model, job.onDisc, set.Active());
  return !interrupted();
}
