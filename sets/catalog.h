#pragma once
// The catalog of a disc set: one SQLite file recording every disc written and every file on it,
// so that a run plans only what no disc holds yet, numbers its discs after the last one, and a
// disc can be found, identified and checked years later.
//
// Soundness. Every change is one transaction in SQLite's rollback journal with synchronous=FULL:
// a kill at any moment leaves the file whole (the next opener rolls a half-made change back), and
// it works wherever the catalog lies (no shared memory, as WAL would need). One run writes at a
// time: a writer takes SQLite's write lock when it opens the catalog and keeps it until it has
// recorded or closed, so that two runs never number discs alike or lose each other's discs; a
// second writer waits up to its lock wait and is then refused with a clear message. Readers (find,
// verify, catalog) read alongside a writer. A file that is not a catalog of ours (no SQLite header,
// another program's application_id), one written by a newer zumibo-fit (a higher user_version),
// one cut short (smaller than its header tells) or, for a writer, one that fails SQLite's
// quick_check is refused with a clear reason before anything is written. A catalog is made whole
// under a temporary name and moved into place, so that its path never shows a half-made one.
//
// Schema (PRAGMA application_id 0x5A4D4253, PRAGMA user_version 1; paths are bytes as the file
// system has them, stored as text):
//   set_info(name TEXT, id TEXT)             one row: the set's name (the catalog file's name
//                                            without its extension) and 32 hex digits of its own
//   disc(number INTEGER PRIMARY KEY, date TEXT 'YYYY-MM-DD', disc_id TEXT 16 hex digits,
//        files INTEGER, bytes INTEGER)
//   folder(id INTEGER PRIMARY KEY, path TEXT UNIQUE)
//                                            every folder once: a source folder absolute
//                                            ("/home/me/photos", "" for the root), a folder on a
//                                            disc relative ("photos/2025", "" for the disc's root)
//   file(disc INTEGER, folder INTEGER, name TEXT, size INTEGER, mtime_ns INTEGER,
//        sha256 BLOB(32), disc_folder INTEGER, disc_name TEXT)
//                                            one version of one file on one disc: its source is
//                                            folder.path + "/" + name, its path on the disc
//                                            disc_folder's path + "/" + (disc_name, or name when
//                                            NULL); a file changed since has a row for each version
//   index file_by_path(folder, name, size, mtime_ns, disc)     "is it held", find, catalog
//   index file_by_content(substr(sha256, 1, 8))                 "is this content held"
//
// Wiring a delivery run to the catalog (--catalog FILE):
//   1. Catalog c; c.Open(FILE, Access::kDeliver, why) before collecting: it makes the catalog if
//      there is none, checks it and takes the write lock, held until Record or the object goes
//      (a second run waits kLockWaitMs, then is refused with `why`). A run that only prints its
//      plan opens with Access::kPlan: nothing is made, locked or recorded.
//   2. Held(keys, discs, why) with the (source, size, mtime in ns) of every collected file in one
//      call, sources as the run names them (SourcePath makes them the catalog's): discs[i] is a
//      disc holding that version, 0 for none. Leave out what is held. With --by-content, hash the
//      files not held (HashFile) and ask HeldContent for their digests. No held file is hashed.
//   3. Number the new discs from LastDisc() + 1, each labelled NewLabel(n). Each disc carries
//      SHA256SUMS and ZUMIBO-SET.TXT at its root (sets/disc_texts.h), to count in its size with
//      the files' own: SumsSize(the paths on the disc) and SetFileText(label).size() bytes, and
//      the records of two names at the root. Keep those two names free at every disc's root.
//   4. Deliver: hash each file as it is copied (Sha256) or read once (HashFile; cli/byte_progress.h
//      shows bytes, speed and time left on a terminal), and write SumsText and SetFileText into
//      each disc folder, or beside each list with graft lines to the disc's root.
//   5. Once the delivery is in place, Record(discs, why): every disc in one transaction, then the
//      lock is let go. A run killed between 4 and 5 leaves a delivery not recorded: its files are
//      still new to the catalog and are planned again by the next run. Such a delivery is told by
//      its set file: ParseSetFile on DIR/discN/ZUMIBO-SET.TXT (or the one beside a list), then
//      Recorded(label) is false for it and true for a disc the catalog holds.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sets/disc_texts.h"
#include "sets/sha256.h"

struct sqlite3;

/// The catalog's schema version, as PRAGMA user_version holds it.
constexpr int kCatalogVersion = 1;

/// A source as the catalog keeps and looks it up: absolute (a relative one below the current
/// folder), without empty or "." parts, ".." taking away the name before it, so that "./a",
/// "x/../a" and "/home/me/a" run from /home/me are one file. Held and Record apply it.
std::string SourcePath(std::string_view source);

/// One version of a file on a disc.
struct CatalogFile {
  std::string source;  ///< where it was read (kept as SourcePath makes it)
  std::string onDisc;  ///< relative, with '/'
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;  ///< modification time, nanoseconds since 1970
  Sha256Digest sha256{};
  int disc = 0;  ///< the disc it is on (when read back)
};

/// A disc to record: its label (NewLabel) and files.
struct CatalogDisc {
  DiscLabel label;
  std::vector<CatalogFile> files;
};

/// A disc as the catalog lists it.
struct DiscSummary {
  int number = 0;
  std::string date, discId;
  std::int64_t files = 0, bytes = 0;
};

/// A file as the planner asks about it.
struct FileKey {
  std::string_view source;  ///< relative to the current folder, or absolute
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
};

/// A catalogued file whose source has changed or is gone since it was written.
struct SourceChange {
  std::string source;
  bool gone = false;  ///< no regular file there now; otherwise its size or time differs
  int disc = 0;       ///< the last disc holding a version of it
};

class Catalog {
 public:
  enum class Access {
    kRead,     ///< find, verify, catalog: the file must be a catalog
    kPlan,     ///< a printed plan: as kRead, an absent file being an empty set
    kDeliver,  ///< a delivery run: made when absent; the write lock held until Record
    kChange,   ///< catalog --forget: as kDeliver, but never made
  };
  /// How long a writer waits for another run's write lock before it is refused.
  static constexpr int kLockWaitMs = 5000;

  Catalog();
  ~Catalog();  ///< a change not recorded is rolled back
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;

  /// False with `why` (naming the file) when the catalog cannot be used as asked; nothing is
  /// written then.
  bool Open(const std::string& path, Access access, std::string& why, int lockWaitMs = kLockWaitMs);
  const std::string& Path() const { return m_path; }
  /// False for kPlan on an absent file: an empty set.
  bool Exists() const { return m_db != nullptr; }
  const std::string& SetName() const { return m_setName; }
  const std::string& SetId() const { return m_setId; }
  /// The last disc's number; 0 before the first.
  int LastDisc() const { return m_lastDisc; }
  /// The label of a new disc `number` of this set: today's date (local time), a new disc-id.
  DiscLabel NewLabel(int number) const;
  /// Whether the catalog holds that very disc (its set, number and disc-id).
  bool Recorded(const DiscLabel& label, std::string& why);

  /// For each file, a disc holding it with that source, size and modification time, or 0.
  bool Held(const std::vector<FileKey>& files, std::vector<int>& discs, std::string& why);
  /// For each digest, a disc holding a file with that content, or 0.
  bool HeldContent(const std::vector<Sha256Digest>& digests, std::vector<int>& discs, std::string& why);
  /// Records the discs in one transaction (kDeliver): numbers not yet in the catalog, paths on
  /// each disc relative and distinct, none at the root named SHA256SUMS or ZUMIBO-SET.TXT. The
  /// write lock is let go after, whether they were recorded or refused.
  bool Record(const std::vector<CatalogDisc>& discs, std::string& why);
  /// Removes a disc and its files (kChange), in one transaction; `files` tells how many.
  bool Forget(int number, std::int64_t& files, std::string& why);

  bool Discs(std::vector<DiscSummary>& discs, std::string& why);
  /// The disc's files, in order of their paths on the disc; false when there is no such disc.
  bool DiscFiles(int number, DiscSummary& disc, std::vector<CatalogFile>& files, std::string& why);
  /// Every version of every file whose source `match` takes, by source, then disc; its path on
  /// the disc and SHA-256 only when `whole`. The files of a source folder (absolute, "" for the
  /// root) that `mayMatchBelow` refuses are passed by unread.
  bool Find(const std::function<bool(std::string_view source)>& match, bool whole, std::vector<CatalogFile>& found,
            std::string& why, const std::function<bool(std::string_view folder)>& mayMatchBelow = nullptr);
  /// The files whose source now holds a version no disc has, or is gone; `progress` is told how
  /// many sources have been looked at, of how many versions (and may stop the look).
  bool Changes(std::vector<SourceChange>& changes, const ReadProgress& progress, std::string& why);

 private:
  bool Fail(const std::string& what, std::string& why) const;
  bool Check(bool writer, std::string& why);
  bool Write(const std::vector<CatalogDisc>& discs, std::string& why);
  bool LoadFolders(std::string& why);
  std::int64_t FolderId(std::string_view path);
  bool AddFolder(std::string_view path, std::int64_t& id, std::string& why);
  const std::string& FolderPath(std::int64_t id) const;
  void ForgetFolders();

  std::string m_path, m_setName, m_setId;
  sqlite3* m_db = nullptr;
  bool m_writing = false;  ///< the write lock is held: a transaction is open
  int m_lastDisc = 0;
  bool m_foldersLoaded = false;
  std::vector<std::string> m_folderPaths;  ///< by id
  std::unordered_map<std::string, std::int64_t> m_folderIds;
};
