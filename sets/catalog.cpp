#include "sets/catalog.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

namespace {

constexpr int kApplicationId = 0x5A4D4253;
// A writer's commit waits this long for readers (find, verify) to finish what they read.
constexpr int kCommitWaitMs = 60000;

const char* const kSchema =
    "CREATE TABLE set_info(name TEXT NOT NULL, id TEXT NOT NULL);"
    "CREATE TABLE disc(number INTEGER PRIMARY KEY, date TEXT NOT NULL, disc_id TEXT NOT NULL,"
    " files INTEGER NOT NULL, bytes INTEGER NOT NULL);"
    "CREATE TABLE folder(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE);"
    "CREATE TABLE file(disc INTEGER NOT NULL, folder INTEGER NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL,"
    " mtime_ns INTEGER NOT NULL, sha256 BLOB NOT NULL, disc_folder INTEGER NOT NULL, disc_name TEXT);"
    "CREATE INDEX file_by_path ON file(folder, name, size, mtime_ns, disc);"
    "CREATE INDEX file_by_content ON file(substr(sha256, 1, 8));";

// A prepared statement, finalized when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool Ok() const { return m_stmt != nullptr; }
  // Text and blobs are bound without a copy: they must stay until the statement is reset.
  Statement& Bind(int i, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, i, value);
    return *this;
  }
  Statement& Bind(int i, std::string_view text) {
    // An empty view may have no data: bound as it is, it would be NULL rather than "".
    sqlite3_bind_text(m_stmt, i, text.empty() ? "" : text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
  }
  Statement& Bind(int i, const Sha256Digest& digest, std::size_t size = 32) {
    sqlite3_bind_blob(m_stmt, i, digest.data(), static_cast<int>(size), SQLITE_STATIC);
    return *this;
  }
  Statement& BindNull(int i) {
    sqlite3_bind_null(m_stmt, i);
    return *this;
  }
  /// SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return sqlite3_step(m_stmt); }
  /// Steps once more after a reset: SQLITE_DONE for a statement that returns no row.
  int Run() {
    const int rc = Step();
    sqlite3_reset(m_stmt);
    return rc;
  }
  void Reset() { sqlite3_reset(m_stmt); }
  std::int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
  std::string_view Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                : std::string_view();
  }
  bool Null(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
  Sha256Digest Digest(int column) const {
    Sha256Digest digest{};
    const void* blob = sqlite3_column_blob(m_stmt, column);
    if (blob && sqlite3_column_bytes(m_stmt, column) == 32) std::memcpy(digest.data(), blob, 32);
    return digest;
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

// A read transaction for the queries of one call, unless a write transaction is open already:
// one lock for all of them, and one consistent view.
class ReadScope {
 public:
  explicit ReadScope(sqlite3* db) : m_db(db), m_began(sqlite3_get_autocommit(db) != 0) {
    if (m_began) sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
  }
  ~ReadScope() {
    if (m_began) sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
  }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
  sqlite3* m_db;
  bool m_began;
};

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) hex += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
  return hex;
}

// Random hex digits, two for each byte: a set's or a disc's own id.
std::string RandomHex(std::size_t bytes) {
  unsigned char buffer[16] = {};
  std::size_t got = 0;
  while (got < bytes) {
    const ssize_t n = getrandom(buffer + got, bytes - got, 0);
    if (n < 0 && errno != EINTR) break;
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  if (got < bytes) {  // no getrandom: the time and the process tell runs apart well enough
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t mix = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
                        (static_cast<std::uint64_t>(getpid()) << 48);
    for (std::size_t i = 0; i < bytes; ++i, mix = mix * 6364136223846793005u + 1442695040888963407u)
      buffer[i] = static_cast<unsigned char>(mix >> 56);
  }
  return Hex(buffer, bytes);
}

// The set's name made from the catalog's file name: "photos.db" names the set "photos".
std::string NameOf(const std::string& path) {
  std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  }
  return name.empty() ? "set" : name;
}

// Whether a source is kept as it is: absolute, with no empty, "." or ".." part.
bool Tidy(std::string_view source) {
  if (source.empty() || source[0] != '/') return false;
  for (std::size_t at = 0; at != std::string_view::npos; at = source.find('/', at + 1)) {
    const std::string_view part = source.substr(at + 1, source.find('/', at + 1) - at - 1);
    if (part.empty() || part == "." || part == "..") return source.size() == 1;
  }
  return true;
}

// A source path as its folder and its name; false for a path that is not absolute.
bool Split(std::string_view source, std::string_view& folder, std::string_view& name) {
  const std::size_t slash = source.rfind('/');
  if (source.empty() || source[0] != '/' || slash + 1 == source.size()) return false;
  folder = source.substr(0, slash);
  name = source.substr(slash + 1);
  return true;
}

// A path on a disc as its folder ("" at the root) and its name.
void SplitOnDisc(std::string_view path, std::string_view& folder, std::string_view& name) {
  const std::size_t slash = path.rfind('/');
  folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  name = slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The path of a folder by its id; "" for an id no folder has.
const std::string& FolderPathIn(const std::vector<std::string>& folders, std::int64_t id) {
  static const std::string kNone;
  return id > 0 && static_cast<std::size_t>(id) < folders.size() ? folders[static_cast<std::size_t>(id)] : kNone;
}

// The columns every query of files selects, in this order.
constexpr const char* kFileColumns = "folder, name, size, mtime_ns, sha256, disc_folder, disc_name, disc";

// A file from a row of those columns.
CatalogFile FileOfRow(const Statement& row, const std::vector<std::string>& folders) {
  CatalogFile f;
  f.source = FolderPathIn(folders, row.Int(0)) + "/" + std::string(row.Text(1));
  f.size = row.Int(2);
  f.mtimeNs = row.Int(3);
  f.sha256 = row.Digest(4);
  f.onDisc = FolderPathIn(folders, row.Int(5));
  if (!f.onDisc.empty()) f.onDisc += '/';
  f.onDisc += row.Null(6) ? row.Text(1) : row.Text(6);
  f.disc = static_cast<int>(row.Int(7));
  return f;
}

// A new catalog under a temporary name, moved to `path` when whole, unless one is there by then
// (another run made it at the same moment: that one is used).
bool Create(const std::string& path, const std::string& setName, std::string& why) {
  const std::string temporary = path + ".new-" + RandomHex(6);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(temporary.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  const std::string schema = "BEGIN;PRAGMA application_id=" + std::to_string(kApplicationId) +
                             ";PRAGMA user_version=" + std::to_string(kCatalogVersion) + ";" + kSchema;
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    Statement insert(db, "INSERT INTO set_info VALUES(?1, ?2)");
    const std::string id = RandomHex(16);
    rc = insert.Bind(1, setName).Bind(2, id).Run() == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) why = "cannot make catalog " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
  sqlite3_close(db);
  if (rc == SQLITE_OK && renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
    // Where the file system cannot rename without replacing, a hard link does the same.
    if (errno == EINVAL || errno == ENOSYS) {
      if (link(temporary.c_str(), path.c_str()) != 0 && errno != EEXIST)
        rc = SQLITE_ERROR, why = "cannot make catalog " + path + ": " + std::strerror(errno);
    } else if (errno != EEXIST) {
      rc = SQLITE_ERROR, why = "cannot make catalog " + path + ": " + std::strerror(errno);
    }
  }
  unlink(temporary.c_str());
  return rc == SQLITE_OK;
}

// What Find's scan matches each file with: the source folders by id, those worth reading, and
// the caller's match; the path of the folder in hand is kept while its files pass.
struct FindScan {
  const std::vector<std::string>& folders;
  const std::vector<bool>& wanted;
  const std::function<bool(std::string_view source)>& match;
  std::int64_t folder = -1;
  std::string path;
};

// zumibo_match(folder, name): whether the file is one Find looks for.
void MatchInScan(sqlite3_context* context, int, sqlite3_value** values) {
  auto& scan = *static_cast<FindScan*>(sqlite3_user_data(context));
  const std::int64_t folder = sqlite3_value_int64(values[0]);
  const auto index = static_cast<std::size_t>(folder);
  if (folder < 1 || index >= scan.folders.size() || !scan.wanted[index]) return sqlite3_result_int(context, 0);
  if (folder != scan.folder) {
    scan.folder = folder;
    scan.path = scan.folders[index] + "/";
  }
  const std::size_t prefix = scan.path.size();
  scan.path.append(reinterpret_cast<const char*>(sqlite3_value_text(values[1])),
                   static_cast<std::size_t>(sqlite3_value_bytes(values[1])));
  sqlite3_result_int(context, scan.match(scan.path) ? 1 : 0);
  scan.path.resize(prefix);
}

// Whether the file begins as an SQLite database and is as long as its header tells; false with
// the reason otherwise. A file with a journal beside it may be cut short by a change the journal
// undoes when SQLite opens it: its length is checked after that.
bool Header(const std::string& path, std::string& why) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return why = "cannot read catalog " + path + ": " + std::strerror(errno), false;
  unsigned char head[100] = {};
  const ssize_t n = read(fd, head, sizeof head);
  struct stat st {};
  fstat(fd, &st);
  close(fd);
  if (n == 0) return why = path + " is empty: not a zumibo-fit catalog", false;
  if (n != sizeof head || std::memcmp(head, "SQLite format 3", 16) != 0)
    return why = path + " is not a zumibo-fit catalog (not an SQLite database)", false;
  const auto number = [&](std::size_t at, std::size_t size) {
    std::int64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = value << 8 | head[at + i];
    return value;
  };
  const std::int64_t pageSize = number(16, 2) == 1 ? 65536 : number(16, 2);
  struct stat journal {};
  const bool sizeValid = number(24, 4) == number(92, 4);
  if (sizeValid && stat((path + "-journal").c_str(), &journal) != 0 && st.st_size < number(28, 4) * pageSize)
    return why = "catalog " + path + " is cut short (" + std::to_string(st.st_size) + " bytes of the " +
                 std::to_string(number(28, 4) * pageSize) + " its header tells): nothing written",
           false;
  return true;
}

}  // namespace

std::string SourcePath(std::string_view source) {
  if (Tidy(source)) return std::string(source);
  std::string path;
  if (source.empty() || source[0] != '/') {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer)) path = buffer;
  }
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  const std::string whole = path + "/" + std::string(source);
  const std::string_view view(whole);
  while (start <= view.size()) {
    std::size_t end = view.find('/', start);
    if (end == std::string_view::npos) end = view.size();
    const std::string_view part = view.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string tidy;
  for (std::string_view part : parts) tidy.append("/").append(part);
  return tidy.empty() ? "/" : tidy;
}

Catalog::Catalog() = default;

Catalog::~Catalog() {
  if (m_writing) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(m_db);
}

bool Catalog::Fail(const std::string& what, std::string& why) const {
  const int rc = sqlite3_extended_errcode(m_db) & 0xff;
  const std::string message = sqlite3_errmsg(m_db);
  if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB)
    why = "catalog " + m_path + " is damaged (" + message + "): nothing written";
  else if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
    why = "catalog " + m_path + " is in use by another zumibo-fit run that writes to it: try again once it has ended";
  else why = what + " " + m_path + ": " + message;
  return false;
}

bool Catalog::Open(const std::string& path, Access access, std::string& why, int lockWaitMs) {
  m_path = path;
  m_setName = NameOf(path);
  const bool writer = access == Access::kDeliver || access == Access::kChange;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return why = "cannot read catalog " + path + ": " + std::strerror(errno), false;
    if (access == Access::kPlan) return true;
    if (access != Access::kDeliver) return why = "no catalog at " + path, false;
    if (!Create(path, m_setName, why)) return false;
  } else if (S_ISDIR(st.st_mode)) {
    return why = path + " is a folder, not a catalog", false;
  }
  if (!Header(path, why)) return false;
  // One thread uses the connection: no mutex around every call.
  if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
    return Fail("cannot open catalog", why);
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, lockWaitMs);
  sqlite3_exec(m_db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  // Readers map the file rather than copy its pages: find reads a million names in a blink.
  if (!writer) sqlite3_exec(m_db, "PRAGMA mmap_size=4294967296", nullptr, nullptr, nullptr);
  if (writer && sqlite3_db_readonly(m_db, "main") == 1)
    return why = "cannot write catalog " + path + ": read-only", false;
  if (sqlite3_exec(m_db, writer ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
    return Fail("cannot read catalog", why);
  m_writing = writer;
  const bool ok = Check(writer, why);
  if (!writer || !ok) sqlite3_exec(m_db, writer ? "ROLLBACK" : "COMMIT", nullptr, nullptr, nullptr);
  if (!ok) m_writing = false;
  return ok;
}

bool Catalog::Check(bool writer, std::string& why) {
  Statement application(m_db, "PRAGMA application_id"), version(m_db, "PRAGMA user_version"),
      pages(m_db, "PRAGMA page_count"), pageSize(m_db, "PRAGMA page_size");
  if (!application.Ok() || application.Step() != SQLITE_ROW) return Fail("cannot read catalog", why);
  if (application.Int(0) != kApplicationId)
    return why = m_path + " is not a zumibo-fit catalog (an SQLite database of another program): nothing written",
           false;
  if (version.Step() != SQLITE_ROW) return Fail("cannot read catalog", why);
  if (version.Int(0) > kCatalogVersion)
    return why = "catalog " + m_path + " was written by a newer zumibo-fit (catalog version " +
                 std::to_string(version.Int(0)) + "; this one reads version " + std::to_string(kCatalogVersion) +
                 "): nothing written",
           false;
  if (version.Int(0) < 1) return why = "catalog " + m_path + " is damaged (no version): nothing written", false;
  struct stat st {};
  if (pages.Step() != SQLITE_ROW || pageSize.Step() != SQLITE_ROW || stat(m_path.c_str(), &st) != 0)
    return Fail("cannot read catalog", why);
  if (st.st_size < pages.Int(0) * pageSize.Int(0))
    return why = "catalog " + m_path + " is cut short (" + std::to_string(st.st_size) + " bytes of the " +
                 std::to_string(pages.Int(0) * pageSize.Int(0)) + " its header tells): nothing written",
           false;
  if (writer) {
    Statement check(m_db, "PRAGMA quick_check(1)");
    if (!check.Ok() || check.Step() != SQLITE_ROW) return Fail("cannot read catalog", why);
    if (check.Text(0) != "ok")
      return why = "catalog " + m_path + " is damaged (" + std::string(check.Text(0)) + "): nothing written", false;
  }
  Statement info(m_db, "SELECT name, id FROM set_info"), last(m_db, "SELECT coalesce(max(number), 0) FROM disc");
  if (!info.Ok() || !last.Ok() || info.Step() != SQLITE_ROW || last.Step() != SQLITE_ROW) {
    if (sqlite3_errcode(m_db) == SQLITE_OK || sqlite3_errcode(m_db) == SQLITE_DONE)
      return why = "catalog " + m_path + " is damaged (no set): nothing written", false;
    return Fail("cannot read catalog", why);
  }
  m_setName = info.Text(0);
  m_setId = info.Text(1);
  m_lastDisc = static_cast<int>(last.Int(0));
  return true;
}

DiscLabel Catalog::NewLabel(int number) const {
  DiscLabel label;
  label.setName = m_setName;
  label.setId = m_setId;
  label.number = number;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  label.date = date;
  label.discId = RandomHex(8);
  return label;
}

bool Catalog::Recorded(const DiscLabel& label, std::string& why) {
  if (!m_db || label.setId != m_setId) return false;
  ReadScope scope(m_db);
  Statement q(m_db, "SELECT 1 FROM disc WHERE number = ?1 AND disc_id = ?2");
  const int rc = q.Bind(1, label.number).Bind(2, label.discId).Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail("cannot read catalog", why);
  return rc == SQLITE_ROW;
}

bool Catalog::LoadFolders(std::string& why) {
  if (m_foldersLoaded) return true;
  Statement q(m_db, "SELECT id, path FROM folder");
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) {
    // Ids are given in turn from 1: a larger one was not made here.
    const std::int64_t id = q.Int(0);
    if (id < 1 || id > (std::int64_t{1} << 28))
      return ForgetFolders(), why = "catalog " + m_path + " is damaged", false;
    if (static_cast<std::size_t>(id) >= m_folderPaths.size()) m_folderPaths.resize(static_cast<std::size_t>(id) + 1);
    m_folderPaths[static_cast<std::size_t>(id)] = q.Text(1);
  }
  if (rc != SQLITE_DONE) return ForgetFolders(), Fail("cannot read catalog", why);
  m_foldersLoaded = true;
  return true;
}

void Catalog::ForgetFolders() {
  m_foldersLoaded = false;
  m_folderIds.clear();
  m_folderPaths.clear();
}

std::int64_t Catalog::FolderId(std::string_view path) {
  // Built when first asked: find and verify never ask.
  if (m_folderIds.empty()) {
    for (std::size_t id = 1; id < m_folderPaths.size(); ++id) m_folderIds.emplace(m_folderPaths[id], id);
  }
  const auto found = m_folderIds.find(std::string(path));
  return found == m_folderIds.end() ? -1 : found->second;
}

const std::string& Catalog::FolderPath(std::int64_t id) const { return FolderPathIn(m_folderPaths, id); }

bool Catalog::AddFolder(std::string_view path, std::int64_t& id, std::string& why) {
  id = FolderId(path);
  if (id >= 0) return true;
  Statement insert(m_db, "INSERT INTO folder(path) VALUES(?1)");
  if (insert.Bind(1, path).Run() != SQLITE_DONE) return Fail("cannot write catalog", why);
  id = sqlite3_last_insert_rowid(m_db);
  m_folderIds.emplace(path, id);
  if (static_cast<std::size_t>(id) >= m_folderPaths.size()) m_folderPaths.resize(static_cast<std::size_t>(id) + 1);
  m_folderPaths[static_cast<std::size_t>(id)] = path;
  return true;
}

bool Catalog::Held(const std::vector<FileKey>& files, std::vector<int>& discs, std::string& why) {
  discs.assign(files.size(), 0);
  if (!m_db) return true;
  ReadScope scope(m_db);
  if (!LoadFolders(why)) return false;
  Statement q(m_db, "SELECT disc FROM file WHERE folder = ?1 AND name = ?2 AND size = ?3 AND mtime_ns = ?4 LIMIT 1");
  std::string tidied;
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string_view source = files[i].source, folder, name;
    if (!Tidy(source)) source = tidied = SourcePath(source);
    if (!Split(source, folder, name)) continue;
    const std::int64_t id = FolderId(folder);
    if (id < 0) continue;
    const int rc = q.Bind(1, id).Bind(2, name).Bind(3, files[i].size).Bind(4, files[i].mtimeNs).Step();
    if (rc == SQLITE_ROW) discs[i] = static_cast<int>(q.Int(0));
    else if (rc != SQLITE_DONE) return Fail("cannot read catalog", why);
    q.Reset();
  }
  return true;
}

bool Catalog::HeldContent(const std::vector<Sha256Digest>& digests, std::vector<int>& discs, std::string& why) {
  discs.assign(digests.size(), 0);
  if (!m_db) return true;
  ReadScope scope(m_db);
  Statement q(m_db, "SELECT disc FROM file WHERE substr(sha256, 1, 8) = ?1 AND sha256 = ?2 LIMIT 1");
  for (std::size_t i = 0; i < digests.size(); ++i) {
    const int rc = q.Bind(1, digests[i], 8).Bind(2, digests[i]).Step();
    if (rc == SQLITE_ROW) discs[i] = static_cast<int>(q.Int(0));
    else if (rc != SQLITE_DONE) return Fail("cannot read catalog", why);
    q.Reset();
  }
  return true;
}

bool Catalog::Record(const std::vector<CatalogDisc>& discs, std::string& why) {
  if (!m_writing) return why = "catalog " + m_path + " was not opened to be written", false;
  const bool ok = Write(discs, why);
  if (!ok) {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    ForgetFolders();
  }
  m_writing = false;
  return ok;
}

bool Catalog::Write(const std::vector<CatalogDisc>& discs, std::string& why) {
  // Checked whole before anything is written.
  std::vector<int> numbers;
  std::vector<std::string> sources;  // as the catalog keeps them, disc after disc
  for (const CatalogDisc& d : discs) {
    numbers.push_back(d.label.number);
    std::vector<std::string_view> paths;
    for (const CatalogFile& f : d.files) {
      std::string_view folder, name;
      sources.push_back(SourcePath(f.source));
      if (f.onDisc == kSumsName || f.onDisc == kSetFileName)
        return why = "cannot record disc " + std::to_string(d.label.number) + ": " + f.source + " would stand at " +
                     f.onDisc + ", where the disc's own " + f.onDisc + " goes",
               false;
      if (!Split(sources.back(), folder, name))
        return why = "cannot record " + f.source + " in catalog " + m_path + ": not an absolute path to a file", false;
      if (f.onDisc.empty() || f.onDisc[0] == '/' || f.onDisc.back() == '/')
        return why = "cannot record " + f.source + " in catalog " + m_path + ": no path on the disc", false;
      paths.push_back(f.onDisc);
    }
    std::sort(paths.begin(), paths.end());
    const auto twice = std::adjacent_find(paths.begin(), paths.end());
    if (twice != paths.end())
      return why = "cannot record disc " + std::to_string(d.label.number) + ": it would hold " + std::string(*twice) +
                   " twice",
             false;
  }
  std::sort(numbers.begin(), numbers.end());
  Statement known(m_db, "SELECT 1 FROM disc WHERE number = ?1");
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (numbers[i] < 1 || (i > 0 && numbers[i] == numbers[i - 1]) || known.Bind(1, numbers[i]).Run() == SQLITE_ROW)
      return why = "cannot record disc " + std::to_string(numbers[i]) + " in catalog " + m_path +
                   ": the catalog has a disc of that number",
             false;
  }

  if (!LoadFolders(why)) return false;
  Statement file(m_db,
                 "INSERT INTO file(disc, folder, name, size, mtime_ns, sha256, disc_folder, disc_name)"
                 " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
      disc(m_db, "INSERT INTO disc(number, date, disc_id, files, bytes) VALUES(?1, ?2, ?3, ?4, ?5)");
  std::size_t next = 0;
  for (const CatalogDisc& d : discs) {
    std::int64_t bytes = 0;
    for (const CatalogFile& f : d.files) {
      std::string_view folder, name, discFolder, discName;
      Split(sources[next++], folder, name);
      SplitOnDisc(f.onDisc, discFolder, discName);
      std::int64_t folderId = 0, discFolderId = 0;
      if (!AddFolder(folder, folderId, why) || !AddFolder(discFolder, discFolderId, why)) return false;
      file.Bind(1, d.label.number).Bind(2, folderId).Bind(3, name).Bind(4, f.size).Bind(5, f.mtimeNs);
      file.Bind(6, f.sha256).Bind(7, discFolderId);
      if (discName == name) file.BindNull(8);
      else file.Bind(8, discName);
      if (file.Run() != SQLITE_DONE) return Fail("cannot write catalog", why);
      bytes += f.size;
    }
    disc.Bind(1, d.label.number).Bind(2, d.label.date).Bind(3, d.label.discId);
    if (disc.Bind(4, static_cast<std::int64_t>(d.files.size())).Bind(5, bytes).Run() != SQLITE_DONE)
      return Fail("cannot write catalog", why);
  }
  sqlite3_busy_timeout(m_db, kCommitWaitMs);
  if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return Fail("cannot write catalog", why);
  if (!numbers.empty()) m_lastDisc = std::max(m_lastDisc, numbers.back());
  return true;
}

bool Catalog::Forget(int number, std::int64_t& files, std::string& why) {
  if (!m_writing) return why = "catalog " + m_path + " was not opened to be written", false;
  Statement q(m_db, "SELECT files FROM disc WHERE number = ?1");
  int rc = q.Bind(1, number).Step();
  if (rc == SQLITE_DONE) return why = "catalog " + m_path + " has no disc " + std::to_string(number), false;
  if (rc != SQLITE_ROW) return Fail("cannot read catalog", why);
  files = q.Int(0);
  q.Reset();
  Statement removeFiles(m_db, "DELETE FROM file WHERE disc = ?1"),
      removeDisc(m_db, "DELETE FROM disc WHERE number = ?1"),
      removeFolders(m_db,
                    "DELETE FROM folder WHERE id NOT IN (SELECT folder FROM file)"
                    " AND id NOT IN (SELECT disc_folder FROM file)"),
      last(m_db, "SELECT coalesce(max(number), 0) FROM disc");
  bool ok = removeFiles.Bind(1, number).Run() == SQLITE_DONE && removeDisc.Bind(1, number).Run() == SQLITE_DONE &&
            removeFolders.Run() == SQLITE_DONE && last.Step() == SQLITE_ROW;
  if (ok) m_lastDisc = static_cast<int>(last.Int(0));
  last.Reset();
  sqlite3_busy_timeout(m_db, kCommitWaitMs);
  ok = ok && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  if (!ok) {
    Fail("cannot write catalog", why);
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  m_writing = false;
  ForgetFolders();
  return ok;
}

bool Catalog::Discs(std::vector<DiscSummary>& discs, std::string& why) {
  discs.clear();
  if (!m_db) return true;
  ReadScope scope(m_db);
  Statement q(m_db, "SELECT number, date, disc_id, files, bytes FROM disc ORDER BY number");
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW)
    discs.push_back({static_cast<int>(q.Int(0)), std::string(q.Text(1)), std::string(q.Text(2)), q.Int(3), q.Int(4)});
  return rc == SQLITE_DONE || Fail("cannot read catalog", why);
}

bool Catalog::DiscFiles(int number, DiscSummary& disc, std::vector<CatalogFile>& files, std::string& why) {
  files.clear();
  if (!m_db) return why = "no disc " + std::to_string(number), false;
  ReadScope scope(m_db);
  Statement summary(m_db, "SELECT date, disc_id, files, bytes FROM disc WHERE number = ?1");
  int rc = summary.Bind(1, number).Step();
  if (rc == SQLITE_DONE) return why = "catalog " + m_path + " has no disc " + std::to_string(number), false;
  if (rc != SQLITE_ROW || !LoadFolders(why)) return Fail("cannot read catalog", why);
  disc = {number, std::string(summary.Text(0)), std::string(summary.Text(1)), summary.Int(2), summary.Int(3)};
  Statement q(m_db, (std::string("SELECT ") + kFileColumns + " FROM file WHERE disc = ?1").c_str());
  q.Bind(1, number);
  while ((rc = q.Step()) == SQLITE_ROW) files.push_back(FileOfRow(q, m_folderPaths));
  std::sort(files.begin(), files.end(), [](const CatalogFile& a, const CatalogFile& b) { return a.onDisc < b.onDisc; });
  return rc == SQLITE_DONE || Fail("cannot read catalog", why);
}

bool Catalog::Find(const std::function<bool(std::string_view source)>& match, bool whole,
                   std::vector<CatalogFile>& found, std::string& why,
                   const std::function<bool(std::string_view folder)>& mayMatchBelow) {
  found.clear();
  if (!m_db) return true;
  ReadScope scope(m_db);
  if (!LoadFolders(why)) return false;
  // The source folders worth reading. When they are few, each is looked up; otherwise the narrow
  // index is read whole, not the table: a million names are a few tens of megabytes.
  std::vector<bool> wanted(m_folderPaths.size(), true);
  std::vector<std::int64_t> few;
  std::size_t sources = 0;
  for (std::size_t id = 1; mayMatchBelow && id < m_folderPaths.size(); ++id) {
    const std::string& folder = m_folderPaths[id];
    if (!folder.empty() && folder[0] != '/') continue;  // a folder on a disc
    ++sources;
    wanted[id] = mayMatchBelow(folder);
    if (wanted[id]) few.push_back(static_cast<std::int64_t>(id));
  }
  const bool lookUp = mayMatchBelow && few.size() * 16 < sources;
  // Each name is matched inside SQLite's scan, so that only the files found come out of it, with
  // what the index holds of them.
  FindScan state{m_folderPaths, wanted, match, -1, {}};
  sqlite3_create_function_v2(m_db, "zumibo_match", 2, SQLITE_UTF8, &state, MatchInScan, nullptr, nullptr, nullptr);
  Statement scan(m_db,
                 "SELECT folder, name, size, mtime_ns, disc, rowid FROM file INDEXED BY file_by_path"
                 " WHERE zumibo_match(folder, name)"),
      inFolder(m_db,
               "SELECT folder, name, size, mtime_ns, disc, rowid FROM file WHERE folder = ?1"
               " AND zumibo_match(folder, name)");
  std::vector<std::pair<std::int64_t, std::size_t>> rows;  // each file's row
  int rc = SQLITE_DONE;
  for (std::size_t next = 0; !lookUp || next < few.size(); ++next) {
    Statement& q = lookUp ? inFolder.Bind(1, few[next]) : scan;
    while ((rc = q.Step()) == SQLITE_ROW) {
      CatalogFile f;
      f.source = FolderPath(q.Int(0)) + "/" + std::string(q.Text(1));
      f.size = q.Int(2);
      f.mtimeNs = q.Int(3);
      f.disc = static_cast<int>(q.Int(4));
      rows.emplace_back(q.Int(5), found.size());
      found.push_back(std::move(f));
    }
    q.Reset();
    if (rc != SQLITE_DONE || !lookUp) break;
  }
  sqlite3_create_function_v2(m_db, "zumibo_match", 2, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (rc != SQLITE_DONE) return Fail("cannot read catalog", why);
  if (whole) {
    std::sort(rows.begin(), rows.end());  // the table read in its order
    Statement row(m_db, (std::string("SELECT ") + kFileColumns + " FROM file WHERE rowid = ?1").c_str());
    for (const auto& [id, at] : rows) {
      if ((rc = row.Bind(1, id).Step()) != SQLITE_ROW) return Fail("cannot read catalog", why);
      found[at] = FileOfRow(row, m_folderPaths);
      row.Reset();
    }
  }
  std::sort(found.begin(), found.end(), [](const CatalogFile& a, const CatalogFile& b) {
    return a.source != b.source ? a.source < b.source : a.disc < b.disc;
  });
  return true;
}

bool Catalog::Changes(std::vector<SourceChange>& changes, const ReadProgress& progress, std::string& why) {
  changes.clear();
  if (!m_db) return true;
  ReadScope scope(m_db);
  if (!LoadFolders(why)) return false;
  Statement total(m_db, "SELECT coalesce(sum(files), 0) FROM disc"),
      scan(m_db, "SELECT folder, name, size, mtime_ns, disc FROM file ORDER BY folder, name");
  if (total.Step() != SQLITE_ROW) return Fail("cannot read catalog", why);
  const auto all = static_cast<std::uint64_t>(total.Int(0));
  std::uint64_t done = 0;
  // The versions of one source come together; its file is looked at once.
  std::string source, name;
  std::int64_t folder = -1;
  struct stat now {};
  bool present = false, same = false;
  int lastDisc = 0;
  const auto settle = [&] {
    if (folder >= 0 && !same) changes.push_back({source, !present, lastDisc});
  };
  int rc;
  while ((rc = scan.Step()) == SQLITE_ROW) {
    if (scan.Int(0) != folder || scan.Text(1) != name) {
      settle();
      folder = scan.Int(0);
      name = scan.Text(1);
      source = FolderPath(folder) + "/" + name;
      present = stat(source.c_str(), &now) == 0 && S_ISREG(now.st_mode);
      same = false;
      lastDisc = 0;
      if (progress && !progress(done, all)) return why = "stopped", false;
    }
    same = same || (present && now.st_size == scan.Int(2) &&
                    std::int64_t{now.st_mtim.tv_sec} * 1'000'000'000 + now.st_mtim.tv_nsec == scan.Int(3));
    lastDisc = std::max(lastDisc, static_cast<int>(scan.Int(4)));
    ++done;
  }
  if (rc != SQLITE_DONE) return Fail("cannot read catalog", why);
  settle();
  return true;
}
