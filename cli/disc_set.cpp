#include "cli/disc_set.h"

#include "cli/byte_progress.h"
#include "cli/messages.h"
#include "cli/stopping.h"
#include "sets/disc_texts.h"

bool HashAll(const std::vector<ToHash>& files, bool quiet, const std::string& what, std::string& why) {
  std::uint64_t total = 0, done = 0;
  for (const ToHash& f : files) total += f.size > 0 ? static_cast<std::uint64_t>(f.size) : 0;
  ByteProgress progress(quiet, what);
  for (const ToHash& f : files) {
    std::uint64_t read = 0;
    const std::uint64_t before = done;
    if (!HashFile(
            f.path, *f.digest, read,
            [&](std::uint64_t now, std::uint64_t) { return progress.Show(before + now, total); }, why))
      return false;
    if (f.size >= 0 && static_cast<std::int64_t>(read) != f.size)
      return why = (f.source.empty() ? f.path : f.source) + " changed since it was planned", false;
    done += read;
  }
  return true;
}

bool RunSet::Open(const Options& o, const Job& job) {
  if (o.catalog.empty()) return true;
  m_recording = job.delivering;
  std::string why;
  if (!m_catalog.Open(o.catalog, m_recording ? Catalog::Access::kDeliver : Catalog::Access::kPlan, why)) {
    Complain(why);
    return false;
  }
  m_active = true;
  return true;
}

bool RunSet::TakeOutHeld(Collection& c, bool byContent, bool quiet) {
  if (!m_active || c.Count() == 0) return true;
  std::string why;
  // A file is held when every name it has is: each name is a file of the set.
  std::vector<FileKey> keys;
  std::vector<std::size_t> fileOfKey;
  for (std::size_t i = 0; i < c.Count(); ++i) {
    for (std::uint32_t k = 0; k < c[i].nameCount && !c[i].folder; ++k) {
      keys.push_back({c.Source(c[i], k), c[i].size, c[i].stat.mtimeNs});
      fileOfKey.push_back(i);
    }
  }
  std::vector<int> discs;
  if (!m_catalog.Held(keys, discs, why)) {
    Complain(why);
    return false;
  }
  std::vector<bool> held(c.Count(), false);
  std::vector<int> namesHeld(c.Count(), 0);
  for (std::size_t k = 0; k < keys.size(); ++k) namesHeld[fileOfKey[k]] += discs[k] != 0;
  std::size_t byPath = 0;
  for (std::size_t i = 0; i < c.Count(); ++i) {
    held[i] = !c[i].folder && namesHeld[i] == static_cast<int>(c[i].nameCount);
    byPath += held[i];
  }
  std::size_t byDigest = 0;
  if (byContent) {
    // Only the files not held by path are read; their digests serve the discs' SHA256SUMS.
    c.digests.assign(c.Count(), Sha256Digest{});
    std::vector<ToHash> read;
    std::vector<std::size_t> fileOfDigest;
    for (std::size_t i = 0; i < c.Count(); ++i) {
      if (held[i] || c[i].folder) continue;
      read.push_back({std::string(c.Source(c[i])), -1, &c.digests[i], ""});
      fileOfDigest.push_back(i);
    }
    if (!HashAll(read, quiet, "reading for --by-content", why)) {
      Complain(g_signal ? "interrupted while reading files for --by-content: nothing planned" : why);
      return false;
    }
    std::vector<Sha256Digest> asked;
    for (std::size_t i : fileOfDigest) asked.push_back(c.digests[i]);
    std::vector<int> contentDiscs;
    if (!m_catalog.HeldContent(asked, contentDiscs, why)) {
      Complain(why);
      return false;
    }
    for (std::size_t k = 0; k < asked.size(); ++k) {
      if (contentDiscs[k] == 0) continue;
      held[fileOfDigest[k]] = true;
      ++byDigest;
    }
  }
  m_held = byPath + byDigest;
  // Empty folders are not in the catalog: they go on the discs of new files, not on discs of
  // their own every month.
  bool newFiles = false;
  for (std::size_t i = 0; i < c.Count(); ++i) newFiles = newFiles || (!c[i].folder && !held[i]);
  if (!newFiles) held.assign(c.Count(), true);
  if (byPath + byDigest > 0) {
    Complain(Plural(byPath + byDigest, "file is", "files are") + " on discs of " + m_catalog.Path() +
             " already: not planned again" +
             (byDigest ? " (" + Grouped(static_cast<std::int64_t>(byDigest)) + " by content)" : ""));
    c.Drop(held);
  }
  return true;
}

std::int64_t RunSet::CarriedBytes(const DiscModel& model) const {
  if (!m_active) return 0;
  // The set file of the largest number a set will have; SHA256SUMS's own lines count with the files.
  DiscLabel widest = m_catalog.NewLabel(999'999);
  const std::int64_t setFile = static_cast<std::int64_t>(SetFileText(widest).size());
  return FileBytes(model, setFile) + (model.block > 1 ? model.block - 1 : 0) + FileRecordBytes(model, kSumsName, 0) +
         FileRecordBytes(model, kSetFileName, setFile);
}
