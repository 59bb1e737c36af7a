#include "cli/collect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "cli/list_input.h"
#include "cli/output.h"
#include "cli/stopping.h"
#include "discs/model.h"
#include "files/drop_intake.h"
#include "files/path_walk.h"

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

}  // namespace

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
      const std::string below =
          e->path.size() > given.size() ? ListedOnDisc(std::string_view(e->path).substr(given.size())) : std::string();
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
