#include "cli/deliver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <unordered_map>

#include "cli/folder_walk.h"
#include "cli/link_tree.h"
#include "cli/mastering.h"
#include "cli/messages.h"
#include "cli/stopping.h"
#include "sets/disc_texts.h"

namespace {

// One folder named twice ("out", "out/", "./out") takes the lists and the disc folders together.
std::string WithoutDotsAndSlashes(std::string path) {
  while (path.size() > 2 && path.compare(0, 2, "./") == 0) path.erase(0, 2);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// No two files of a disc at one path, and no file's path a folder of another's.
bool OnePathEach(const std::vector<std::vector<DiscFile>>& discs, std::string& why) {
  for (std::size_t d = 0; d < discs.size(); ++d) {
    std::vector<const std::string*> paths;
    for (const DiscFile& f : discs[d]) paths.push_back(&f.onDisc);
    const auto less = [](const std::string* a, const std::string* b) { return *a < *b; };
    std::sort(paths.begin(), paths.end(), less);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const std::string below = *paths[i] + "/";
      const auto next = std::lower_bound(paths.begin() + static_cast<std::ptrdiff_t>(i) + 1, paths.end(), &below, less);
      const bool twice = i + 1 < paths.size() && *paths[i + 1] == *paths[i];
      if (twice || (next != paths.end() && (*next)->compare(0, below.size(), below) == 0)) {
        why = "disc " + std::to_string(d + 1) + " would hold " + *paths[i] +
              (twice ? " twice" : " as a file and as a folder");
        return false;
      }
    }
  }
  return true;
}

std::string RealPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return std::string();
  std::string text = real;
  std::free(real);
  return text;
}

// Signals that would stop a delivery are held (SIG_BLOCK) from the commit on: once the new plan
// is in place it is the run's result, and a signal then changes nothing. SIG_UNBLOCK lets them
// through again after a commit that failed.
void HoldSignals(int how) {
  sigset_t held;
  sigemptyset(&held);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
  pthread_sigmask(how, &held, nullptr);
}

}  // namespace

Delivery::Delivery(const Options& o, RunSet& set) : m_o(o), m_set(set) {
  if (!o.pathLists.empty()) m_lists = m_targets.emplace_back(std::make_unique<DeliveryFolder>(o.pathLists)).get();
  if (m_lists && !o.linkInto.empty() && WithoutDotsAndSlashes(o.linkInto) == WithoutDotsAndSlashes(o.pathLists))
    m_tree = m_lists;
  else if (!o.linkInto.empty()) m_tree = m_targets.emplace_back(std::make_unique<DeliveryFolder>(o.linkInto)).get();
}

std::string Delivery::Where() const {
  std::string where;
  for (const auto& t : m_targets) where += (where.empty() ? "" : " and ") + t->Path();
  return where;
}

bool Delivery::Prepare() {
  std::string why;
  for (const auto& t : m_targets) {
    if (!t->Prepare(t.get() == m_lists, t.get() == m_tree, m_o.replace, why)) {
      Complain("nothing written: " + why);
      return false;
    }
  }
  return true;
}

bool Delivery::SourcesOutsideReplaced(const DiscFiles& files, std::string& why) const {
  std::vector<std::pair<std::string, bool>> replaced;
  for (const auto& t : m_targets) {
    for (auto& r : t->Replaced()) replaced.push_back(std::move(r));
  }
  if (replaced.empty()) return true;
  // A file is where its folder really is (one real path a folder, whatever links lead there),
  // or where it leads when it is a link itself.
  std::unordered_map<std::string, std::string> realFolders;
  for (const std::vector<DiscFile>& disc : files) {
    for (const DiscFile& f : disc) {
      const std::size_t slash = f.source.rfind('/');
      const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : f.source.substr(0, slash);
      auto known = realFolders.find(folder);
      if (known == realFolders.end()) known = realFolders.emplace(folder, RealPath(folder)).first;
      std::string real = known->second + "/" + f.source.substr(slash + 1);
      std::string listed;
      if (ListedSource(f.source, listed, why) && listed != f.source) real = RealPath(listed);
      for (const auto& [path, folderToo] : replaced) {
        if (real == path || (folderToo && real.compare(0, path.size() + 1, path + "/") == 0))
          return why = f.source + " lies in " + path + ", which --replace would remove: copy it elsewhere first", false;
      }
    }
  }
  return true;
}

bool Delivery::Check(const DiscFiles& files, std::vector<std::string>& texts, std::vector<const DiscFile*>& left,
                     std::string& why) {
  if (!OnePathEach(files, why) || !SourcesOutsideReplaced(files, why)) return false;
  std::string folder;
  if (m_lists && m_set.Recording()) {
    // The set's two files of each disc stand beside its list, at their final, absolute paths.
    folder = RealPath(m_lists->Path());
    if (folder.empty()) {
      const std::size_t slash = m_lists->Path().rfind('/');
      folder = RealPath(slash == std::string::npos ? "." : m_lists->Path().substr(0, slash + 1)) + "/" +
               m_lists->Path().substr(slash == std::string::npos ? 0 : slash + 1);
    }
  }
  for (std::size_t d = 0; m_lists && d < files.size(); ++d) {
    if (!ListText(files[d], texts[d], left, why)) return false;
    for (const char* name : {kSumsName, kSetFileName}) {
      std::string line;
      if (!folder.empty() && GraftLine({folder + "/" + DiscName(d) + "." + name, name}, line)) texts[d] += line + "\n";
    }
  }
  if (!m_tree) return true;
  std::uint64_t bytes = 0;
  if (!CheckSources(files, m_o.copy, m_tree->Device(), bytes, why)) return false;
  if (bytes <= m_tree->FreeBytes()) return true;
  why = "the copies take " + Grouped(static_cast<std::int64_t>(bytes)) + " bytes, " + m_tree->Path() + " has " +
        Grouped(static_cast<std::int64_t>(m_tree->FreeBytes())) + " free";
  return false;
}

bool Delivery::WriteList(const std::string& name, const std::string& text, std::string& why) {
  struct stat st;
  if (!WriteNewFile(m_lists->Staging(), name, text, why) ||
      fstatat(m_lists->Staging(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    why = "cannot write " + m_lists->Path() + "/" + name + ": " + why;
    return false;
  }
  m_lists->Record(EntryOf(name, EntryKind::kWritten, st));
  return !g_stop.load(std::memory_order_relaxed);
}

bool Delivery::Write(const DiscFiles& files, const std::vector<std::string>& texts, std::string& why) {
  for (const auto& t : m_targets) {
    if (!t->Begin(why)) return false;
  }
  // Copies are hashed as they are made; what is linked or listed is read once after.
  if (m_tree && !PlaceFiles(*m_tree, files, m_o.copy, m_first, m_set.Recording() ? &m_digests : nullptr, why))
    return false;
  if (m_set.Recording() && !(Hash(files, why) && WriteSetFiles(files, why))) return false;
  for (std::size_t d = 0; m_lists && d < files.size(); ++d) {
    if (!WriteList(DiscName(d) + ".list", texts[d], why)) return false;
  }
  return true;
}

bool Delivery::Hash(const DiscFiles& files, std::string& why) {
  // A linked file is read through its link in the staged tree, which is the very file checked.
  const auto readFrom = [&](std::size_t d, const DiscFile& f) {
    return m_tree ? m_tree->Path() + "/" + m_tree->StagingName() + "/new/" + DiscName(d) + "/" + f.onDisc : f.source;
  };
  // Each file once, whatever names it has.
  std::vector<ToHash> read;
  for (std::size_t d = 0; d < files.size(); ++d) {
    for (const DiscFile& f : files[d]) {
      if (f.folder || m_digests.known[f.file]) continue;
      read.push_back({readFrom(d, f), f.size, &m_digests.digest[f.file], f.source});
      m_digests.known[f.file] = true;
    }
  }
  return HashAll(read, m_o.quiet, "hashing for SHA256SUMS", why);
}

bool Delivery::WriteSetFiles(const DiscFiles& files, std::string& why) {
  for (std::size_t d = 0; d < files.size(); ++d) {
    std::vector<SumsEntry> entries;
    for (const DiscFile& f : files[d]) {
      if (!f.folder) entries.push_back({f.onDisc, m_digests.digest[f.file]});
    }
    const std::string sums = SumsText(std::move(entries)), set = SetFileText(m_labels[d]);
    if (m_tree) {
      // At the disc folder's root, in the staging folder, as the tool's own files.
      const int disc = openat(m_tree->Staging(), DiscName(d).c_str(), kFolderFlags);
      bool ok = disc >= 0;
      for (const auto& [name, text] :
           {std::pair<const char*, const std::string*>{kSumsName, &sums}, {kSetFileName, &set}}) {
        struct stat st;
        ok = ok && WriteNewFile(disc, name, *text, why) && fstatat(disc, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (ok) m_tree->Record(EntryOf(DiscName(d) + "/" + name, EntryKind::kWritten, st));
      }
      if (disc >= 0) close(disc);
      if (!ok) return why = "cannot write " + m_tree->Path() + "/" + DiscName(d) + ": " + why, false;
    }
    if (m_lists &&
        !(WriteList(DiscName(d) + "." + kSumsName, sums, why) && WriteList(DiscName(d) + "." + kSetFileName, set, why)))
      return false;
  }
  return true;
}

bool Delivery::Commit(std::string& why) {
  HoldSignals(SIG_BLOCK);
  std::size_t done = 0;
  while (done < m_targets.size() && m_targets[done]->Commit(why)) ++done;
  if (done == m_targets.size()) return true;
  while (done > 0) m_targets[--done]->Undo();
  HoldSignals(SIG_UNBLOCK);
  return false;
}

ExitStatus Delivery::Deliver(const std::vector<Disc>& discs, const Collection& c, const Job& job) {
  if (!Wanted()) return ExitStatus::kOk;
  // A plan cut short by Ctrl-C is printed, but not written: the signal's status tells a script
  // that nothing was made.
  if (Interrupted()) {
    Complain("interrupted: the plan is printed, no path list or folder written");
    return ExitStatus::kOk;
  }
  DiscFiles files;
  for (const Disc& d : discs) {
    files.emplace_back();
    for (std::uint32_t i : d.files) {
      for (std::uint32_t k = 0; k < c[i].nameCount; ++k)
        files.back().push_back({std::string(c.Source(c[i], k)), std::string(c.OnDisc(c[i], k)), c[i].stat.id.device,
                                c[i].stat.id.inode, c[i].size, c[i].folder, i});
    }
  }
  // A signal from here on stops the delivery; one that came during the search has ended the search.
  g_stop.store(0, std::memory_order_relaxed);

  std::string why;
  if (m_set.Recording()) {
    m_first = m_set.FirstNumber();
    for (std::size_t d = 0; d < discs.size(); ++d) m_labels.push_back(m_set.Label(m_first + static_cast<int>(d)));
    m_digests.digest.assign(c.Count(), Sha256Digest{});
    m_digests.known.assign(c.Count(), false);
    for (std::size_t i = 0; i < c.digests.size(); ++i) {
      m_digests.digest[i] = c.digests[i];
      m_digests.known[i] = !c[i].folder;
    }
  }
  std::vector<std::string> texts(files.size());
  std::vector<const DiscFile*> left;
  const bool ok = Check(files, texts, left, why) && Write(files, texts, why) &&
                  !g_stop.load(std::memory_order_relaxed) && Commit(why);
  if (!ok) {
    // The other way round from Begin, so that a folder made for both is empty when it goes.
    for (auto t = m_targets.rbegin(); t != m_targets.rend(); ++t) (*t)->Abandon();
    if (g_stop.load(std::memory_order_relaxed)) {
      Complain("interrupted while delivering: nothing written, " + Where() + " as before");
      return Signalled(g_signal ? g_signal : SIGINT);
    }
    Complain("nothing written: " + why);
    return ExitStatus::kFailed;
  }
  const bool recorded = !m_set.Recording() || Record(files, c);
  for (const auto& t : m_targets) {
    const std::string kept = t->Finish();
    if (!kept.empty())
      Warn(t->Path() + "/" + kept +
           " keeps what was written into the replaced plan since it was made: look through it");
  }
  for (const DiscFile* f : left)
    Complain("left out of the path lists: " + f->source +
             " (no list line holds a newline, a disc path ending in '\\', a source ending in a carriage return, or "
             "more than " +
             Grouped(kLongestGraftLine) + " bytes; use --link-into)");
  if (m_lists && !m_o.quiet) {
    // Each disc with the command that masters it: one with a large file needs its own.
    std::string large;
    for (std::size_t d = 0; d < discs.size(); ++d) {
      if (HoldsLargeFile(discs[d], c)) large += (large.empty() ? "" : ", ") + std::to_string(d + 1);
    }
    Complain("path lists written: master disc N with " +
             MasteringCommand(job, false, m_o.pathLists + "/discN.list", "discN.iso"));
    if (!large.empty())
      Complain("master disc " + large + " (a file of 4 GiB - 1 bytes or more) with " +
               MasteringCommand(job, true, m_o.pathLists + "/discN.list", "discN.iso"));
  }
  return left.empty() && recorded ? ExitStatus::kOk : ExitStatus::kFailed;
}

bool Delivery::Record(const DiscFiles& files, const Collection& c) {
  std::vector<CatalogDisc> discs;
  for (std::size_t d = 0; d < files.size(); ++d) {
    discs.push_back({m_labels[d], {}});
    for (const DiscFile& f : files[d]) {
      if (!f.folder)
        discs.back().files.push_back({f.source, f.onDisc, f.size, c[f.file].stat.mtimeNs, m_digests.digest[f.file]});
    }
  }
  std::string why;
  if (m_set.Discs().Record(discs, why)) return true;
  Complain("the discs are written but not recorded in " + m_set.Discs().Path() + ": " + why +
           "; the next run plans their files again");
  return false;
}
