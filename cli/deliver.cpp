#include "cli/deliver.h"

#include <signal.h>

#include <algorithm>
#include <memory>
#include <string>

#include "cli/link_tree.h"
#include "cli/mastering.h"
#include "cli/messages.h"
#include "cli/path_lists.h"
#include "cli/staging.h"
#include "cli/stopping.h"

namespace {

// One folder named twice ("out", "out/", "./out") takes the lists and the disc folders together.
std::string Tidy(std::string path) {
  while (path.size() > 2 && path.compare(0, 2, "./") == 0) path.erase(0, 2);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// No two files of a disc at one path, and no file's path a folder of another's.
bool Apart(const std::vector<std::vector<DiscFile>>& discs, std::string& why) {
  for (std::size_t d = 0; d < discs.size(); ++d) {
    std::vector<const std::string*> paths;
    for (const DiscFile& f : discs[d]) paths.push_back(&f.onDisc);
    const auto less = [](const std::string* a, const std::string* b) { return *a < *b; };
    std::sort(paths.begin(), paths.end(), less);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const std::string below = *paths[i] + "/";
      const auto next = std::lower_bound(paths.begin() + static_cast<std::ptrdiff_t>(i) + 1, paths.end(), &below, less);
      const bool twice = i + 1 < paths.size() && *paths[i + 1] == *paths[i];
      if (twice || (next != paths.end() && (*next)->compare(0, below.size(), below) == 0))
        return why = "disc " + std::to_string(d + 1) + " would hold " + *paths[i] +
                     (twice ? " twice" : " as a file and as a folder"),
               false;
    }
  }
  return true;
}

}  // namespace

ExitStatus Deliver(const std::vector<Disc>& discs, const Collection& c, const Job& job, const Options& o) {
  if (o.pathLists.empty() && o.linkInto.empty()) return ExitStatus::kOk;
  // A plan cut short by Ctrl-C is printed, but not written: 130 tells a script nothing was made.
  if (Interrupted()) {
    Complain("interrupted: the plan is printed, no path list or folder written");
    return ExitStatus::kOk;
  }
  std::vector<std::vector<DiscFile>> files;
  for (const Disc& d : discs) {
    files.emplace_back();
    for (std::uint32_t i : d.files) {
      for (std::uint32_t k = 0; k < c[i].nameCount; ++k)
        files.back().push_back({std::string(c.Source(c[i], k)), std::string(c.OnDisc(c[i], k))});
    }
  }
  // A signal from here on stops the delivery; one that came during the search has ended the search.
  g_stop.store(0, std::memory_order_relaxed);

  std::vector<std::unique_ptr<Target>> targets;
  Target* lists = nullptr;
  Target* tree = nullptr;
  if (!o.pathLists.empty()) lists = targets.emplace_back(std::make_unique<Target>(o.pathLists)).get();
  if (lists && !o.linkInto.empty() && Tidy(o.linkInto) == Tidy(o.pathLists)) tree = lists;
  else if (!o.linkInto.empty()) tree = targets.emplace_back(std::make_unique<Target>(o.linkInto)).get();
  std::string where;
  for (const auto& t : targets) where += (where.empty() ? "" : " and ") + t->Path();

  // Every destination is checked before anything is written.
  std::string why;
  std::vector<std::string> texts(files.size());
  std::vector<const DiscFile*> left;
  std::uint64_t bytes = 0;
  bool ok = Apart(files, why);
  for (const auto& t : targets) ok = ok && t->Check(t.get() == lists, t.get() == tree, o.replace, why);
  for (std::size_t d = 0; ok && lists && d < files.size(); ++d) ok = ListText(files[d], texts[d], left, why);
  if (ok && tree) ok = CheckSources(files, o.copy, tree->Device(), bytes, why);
  if (ok && tree && bytes > tree->FreeBytes())
    ok = false, why = "the copies take " + Grouped(static_cast<std::int64_t>(bytes)) + " bytes, " + tree->Path() +
                      " has " + Grouped(static_cast<std::int64_t>(tree->FreeBytes())) + " free";

  // Then staged beside the entries they replace, and renamed into place together.
  for (std::size_t t = 0; ok && t < targets.size(); ++t) ok = targets[t]->Begin(why);
  for (std::size_t d = 0; ok && lists && d < files.size(); ++d) {
    const std::string name = "disc" + std::to_string(d + 1) + ".list";
    ok = WriteNewFile(lists->Staging(), name, texts[d], why) && !g_stop.load(std::memory_order_relaxed);
    if (ok) lists->Record(name);
    else why = "cannot write " + lists->Path() + "/" + name + ": " + why;
  }
  if (ok && tree) ok = PlaceFiles(*tree, files, o.copy, why);
  if (ok && !g_stop.load(std::memory_order_relaxed)) {
    // A signal now waits until every rename is done or undone.
    sigset_t held, before;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
    pthread_sigmask(SIG_BLOCK, &held, &before);
    std::size_t done = 0;
    while (done < targets.size() && targets[done]->Commit(why)) ++done;
    ok = done == targets.size();
    while (!ok && done > 0) targets[--done]->Undo();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  } else {
    ok = false;
  }
  if (!ok) {
    // The other way round from Begin, so that a folder made for both is empty when it goes.
    for (auto t = targets.rbegin(); t != targets.rend(); ++t) (*t)->Abandon();
    if (g_stop.load(std::memory_order_relaxed)) {
      Complain("interrupted while delivering: nothing written, " + where + " as before");
      return Signalled(g_signal ? g_signal : SIGINT);
    }
    Complain("nothing written: " + why);
    return ExitStatus::kFailed;
  }
  for (const auto& t : targets) t->Finish();

  for (const DiscFile* f : left)
    Complain("left out of the path lists: " + f->source +
             " (no list line holds a newline, a disc path ending in '\\', a source ending in a carriage return, or "
             "more than " +
             Grouped(kLongestGraftLine) + " bytes; use --link-into)");
  if (lists && !o.quiet)
    Complain("path lists written: master disc N with " +
             MasteringCommand(job, o.pathLists + "/discN.list", "discN.iso"));
  return left.empty() ? ExitStatus::kOk : ExitStatus::kFailed;
}
