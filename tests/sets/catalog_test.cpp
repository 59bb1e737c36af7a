// The catalog of a disc set: what it holds, what it refuses, two writers, and a kill mid-write.
#include "sets/catalog.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "tests/temp_dir.h"

namespace {

CatalogFile File(const std::string& source, std::int64_t size, std::int64_t mtimeNs, std::uint8_t content) {
  CatalogFile f;
  f.source = source;
  f.onDisc = source.substr(source.find('/', 1) + 1);
  f.size = size;
  f.mtimeNs = mtimeNs;
  f.sha256.fill(content);
  return f;
}

// A catalog with one disc of `count` files, recorded by a writer that opened it.
bool RecordDisc(const std::string& path, std::size_t count, std::string& why, int lockWaitMs = Catalog::kLockWaitMs) {
  Catalog c;
  if (!c.Open(path, Catalog::Access::kDeliver, why, lockWaitMs)) return false;
  CatalogDisc disc{c.NewLabel(c.LastDisc() + 1), {}};
  for (std::size_t i = 0; i < count; ++i)
    disc.files.push_back(File("/src/d" + std::to_string(i % 97) + "/f" + std::to_string(i), 1000 + i, 5, 1));
  return c.Record({disc}, why);
}

// PRAGMA integrity_check's first line.
std::string Integrity(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &q, nullptr);
  std::string result = sqlite3_step(q) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(q, 0)) : "";
  sqlite3_finalize(q);
  sqlite3_close(db);
  return result;
}

void Sql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

}  // namespace

TEST(Catalog, HoldsEveryVersionByPathSizeTimeOrContent) {
  TempDir dir;
  const std::string path = dir / "photos.db";
  std::string why;
  {
    Catalog plan;  // a printed plan makes no catalog
    ASSERT_TRUE(plan.Open(path, Catalog::Access::kPlan, why)) << why;
    EXPECT_FALSE(plan.Exists());
    EXPECT_EQ(plan.LastDisc(), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  Catalog c;
  ASSERT_TRUE(c.Open(path, Catalog::Access::kDeliver, why)) << why;
  EXPECT_EQ(c.SetName(), "photos");
  CatalogDisc one{c.NewLabel(1), {File("/home/me/a.jpg", 10, 100, 1), File("/home/me/sub/b.jpg", 20, 200, 2)}};
  one.files[1].onDisc = "b~2.jpg";
  ASSERT_TRUE(c.Record({one}, why)) << why;
  EXPECT_FALSE(c.Record({one}, why)) << "the lock is let go once recorded";

  Catalog next;
  ASSERT_TRUE(next.Open(path, Catalog::Access::kDeliver, why)) << why;
  EXPECT_EQ(next.LastDisc(), 1);
  EXPECT_TRUE(next.Recorded(one.label, why));
  std::vector<int> discs;
  ASSERT_TRUE(next.Held({{"/home/me/a.jpg", 10, 100},
                         {"/home/me/a.jpg", 10, 101},
                         {"/home/me/a.jpg", 11, 100},
                         {"/home//me/./x/../sub/b.jpg", 20, 200},
                         {"/home/me/c.jpg", 10, 100},
                         {"a.jpg", 10, 100}},
                        discs, why));
  EXPECT_EQ(discs, (std::vector<int>{1, 0, 0, 1, 0, 0}));
  EXPECT_EQ(SourcePath("/a/./b//../c/"), "/a/c");
  Sha256Digest other{};
  other.fill(1);
  other[31] = 9;  // the same first bytes, another digest
  ASSERT_TRUE(next.HeldContent({one.files[1].sha256, other}, discs, why));
  EXPECT_EQ(discs, (std::vector<int>{1, 0}));

  // A changed file goes on disc 2; both versions stay. A disc number taken, or a path twice, is refused.
  CatalogDisc two{next.NewLabel(2), {File("/home/me/a.jpg", 10, 101, 3)}};
  CatalogDisc taken{next.NewLabel(1), {File("/home/me/x.jpg", 1, 1, 4)}};
  EXPECT_FALSE(next.Record({two, taken}, why));
  EXPECT_NE(why.find("has a disc of that number"), std::string::npos) << why;
  Catalog again;
  ASSERT_TRUE(again.Open(path, Catalog::Access::kDeliver, why)) << why;
  CatalogDisc twice{again.NewLabel(2), {File("/home/me/x.jpg", 1, 1, 4), File("/other/me/x.jpg", 1, 1, 4)}};
  EXPECT_FALSE(again.Record({twice}, why));
  EXPECT_NE(why.find("twice"), std::string::npos) << why;
  Catalog own;
  ASSERT_TRUE(own.Open(path, Catalog::Access::kDeliver, why)) << why;
  EXPECT_FALSE(own.Record({{own.NewLabel(2), {File("/home/SHA256SUMS", 1, 1, 4)}}}, why));
  EXPECT_NE(why.find("where the disc's own SHA256SUMS goes"), std::string::npos) << why;
  Catalog third;
  ASSERT_TRUE(third.Open(path, Catalog::Access::kDeliver, why)) << why;
  ASSERT_TRUE(third.Record({two}, why)) << why;
  std::vector<CatalogFile> found;
  ASSERT_TRUE(third.Find([](std::string_view s) { return s == "/home/me/a.jpg"; }, true, found, why));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].disc, 1);
  EXPECT_EQ(found[1].disc, 2);
  DiscSummary summary;
  ASSERT_TRUE(third.DiscFiles(1, summary, found, why));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].onDisc, "b~2.jpg");
  EXPECT_EQ(found[0].source, "/home/me/sub/b.jpg");
  EXPECT_EQ(summary.bytes, 30);

  // A disc forgotten: its files are new again, and the next disc takes its number.
  Catalog change;
  std::int64_t files = 0;
  ASSERT_TRUE(change.Open(path, Catalog::Access::kChange, why)) << why;
  ASSERT_TRUE(change.Forget(2, files, why)) << why;
  EXPECT_EQ(files, 1);
  EXPECT_EQ(change.LastDisc(), 1);
  ASSERT_TRUE(change.Held({{"/home/me/a.jpg", 10, 101}}, discs, why));
  EXPECT_EQ(discs, std::vector<int>{0});
  EXPECT_FALSE(change.Recorded(two.label, why));
}

TEST(Catalog, RefusesWhatIsNotOneOfOursAndWritesNothing) {
  TempDir dir;
  std::string why;
  ASSERT_TRUE(RecordDisc(dir / "good.db", 2000, why)) << why;
  const std::string good = ReadFileBytes(dir / "good.db");
  sqlite3* other = nullptr;
  sqlite3_open((dir / "other.db").c_str(), &other);
  sqlite3_exec(other, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  WriteFileBytes(dir / "text.db", "photos of 2025\n");
  WriteFileBytes(dir / "empty.db", "");
  WriteFileBytes(dir / "cut.db", good.substr(0, good.size() / 2));
  std::filesystem::copy_file(dir / "good.db", dir / "newer.db");
  Sql(dir / "newer.db", "PRAGMA user_version = 2");
  std::string damaged = good;
  for (std::size_t at = 4096; at < damaged.size(); at += 4096) damaged[at + 100] ^= 0x5a;  // every page but the first
  WriteFileBytes(dir / "damaged.db", damaged);

  const std::pair<const char*, const char*> cases[] = {{"other.db", "an SQLite database of another program"},
                                                       {"text.db", "not an SQLite database"},
                                                       {"empty.db", "is empty"},
                                                       {"cut.db", "is cut short"},
                                                       {"newer.db", "written by a newer zumibo-fit"},
                                                       {"damaged.db", "is damaged"},
                                                       {"missing.db", "no catalog at"}};
  for (const auto& [name, said] : cases) {
    const std::string path = dir / name;
    const std::string before = ReadFileBytes(path);
    Catalog c;
    EXPECT_FALSE(
        c.Open(path, std::string(name) == "missing.db" ? Catalog::Access::kChange : Catalog::Access::kDeliver, why))
        << name;
    EXPECT_NE(why.find(said), std::string::npos) << name << ": " << why;
    EXPECT_EQ(ReadFileBytes(path), before) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.db"));
}

TEST(Catalog, TwoWritersNeverLoseADisc) {
  TempDir dir;
  const std::string path = dir / "set.db";
  std::string why;
  Catalog first;
  ASSERT_TRUE(first.Open(path, Catalog::Access::kDeliver, why)) << why;
  EXPECT_FALSE(RecordDisc(path, 10, why, 100));
  EXPECT_NE(why.find("in use by another zumibo-fit run"), std::string::npos) << why;

  // A second writer that waits long enough numbers its disc after the first's.
  bool secondOk = false;
  std::string secondWhy;
  std::thread second([&] { secondOk = RecordDisc(path, 10, secondWhy, 10000); });
  usleep(200'000);
  ASSERT_TRUE(first.Record({{first.NewLabel(1), {File("/a/b", 1, 1, 1)}}}, why)) << why;
  second.join();
  ASSERT_TRUE(secondOk) << secondWhy;
  Catalog reader;
  std::vector<DiscSummary> discs;
  ASSERT_TRUE(reader.Open(path, Catalog::Access::kRead, why) && reader.Discs(discs, why)) << why;
  ASSERT_EQ(discs.size(), 2u);
  EXPECT_EQ(discs[0].files, 1);
  EXPECT_EQ(discs[1].number, 2);
  EXPECT_EQ(discs[1].files, 10);
}

TEST(Catalog, AKillDuringAWriteLeavesItWholeAndConsistent) {
  TempDir dir;
  const std::string path = dir / "set.db";
  std::string why;
  ASSERT_TRUE(RecordDisc(path, 2000, why)) << why;
  for (int round = 0; round < 8; ++round) {
    const pid_t child = fork();
    if (child == 0) {
      std::string childWhy;
      _exit(RecordDisc(path, 20000, childWhy) ? 0 : 1);
    }
    usleep(static_cast<useconds_t>(round * 30'000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_EQ(Integrity(path), "ok") << "round " << round;
    // Every disc recorded holds all of its files, and nothing else is there.
    Catalog c;
    std::vector<DiscSummary> discs;
    ASSERT_TRUE(c.Open(path, Catalog::Access::kRead, why) && c.Discs(discs, why)) << why;
    std::int64_t files = 0;
    for (const DiscSummary& d : discs) {
      EXPECT_EQ(d.files, d.number == 1 ? 2000 : 20000);
      files += d.files;
    }
    std::vector<CatalogFile> all;
    ASSERT_TRUE(c.Find([](std::string_view) { return true; }, false, all, why)) << why;
    EXPECT_EQ(static_cast<std::int64_t>(all.size()), files) << "round " << round;
  }
  // A search of a few folders reads each of their files.
  Catalog c;
  std::vector<CatalogFile> scanned, looked;
  const auto inD5 = [](std::string_view s) { return s.rfind("/src/d5/", 0) == 0; };
  ASSERT_TRUE(c.Open(path, Catalog::Access::kRead, why) && c.Find(inD5, true, scanned, why)) << why;
  ASSERT_TRUE(c.Find([](std::string_view) { return true; }, true, looked, why,
                     [](std::string_view f) { return f == "/src/d5"; }));
  EXPECT_GE(looked.size(), 20u);
  EXPECT_EQ(looked.size(), scanned.size());
}
