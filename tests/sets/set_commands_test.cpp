// zumibo-fit find, verify and catalog, run as a separate process on catalogs and disc folders
// laid out as a delivery lays them out.
#include <sys/stat.h>

#include <filesystem>
#include <gtest/gtest.h>
#include "tests/json.h"

#include "sets/catalog.h"
#include "tests/cli/tool_run.h"
#include "tests/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The next disc of the catalog: each file (its path below src/, its bytes) written as a source
// when it has bytes, copied into `folder` with SHA256SUMS and the set file, and recorded.
void WriteDisc(const TempDir& dir, const std::string& folder,
               const std::vector<std::pair<std::string, std::string>>& files) {
  Catalog c;
  std::string why;
  ASSERT_TRUE(c.Open(dir / "photos.db", Catalog::Access::kDeliver, why)) << why;
  CatalogDisc disc{c.NewLabel(c.LastDisc() + 1), {}};
  std::vector<SumsEntry> sums;
  for (const auto& [path, bytes] : files) {
    const std::string source = dir / ("src/" + path), copy = dir / (folder + "/" + path);
    fs::create_directories(fs::path(source).parent_path());
    fs::create_directories(fs::path(copy).parent_path());
    if (!bytes.empty()) WriteFileBytes(source, bytes);
    fs::copy_file(source, copy);
    CatalogFile f;
    f.source = source;
    f.onDisc = path;
    struct stat st {};
    stat(source.c_str(), &st);
    f.mtimeNs = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    std::uint64_t size = 0;
    ASSERT_TRUE(HashFile(source, f.sha256, size, nullptr, why)) << why;
    f.size = static_cast<std::int64_t>(size);
    disc.files.push_back(f);
  }
  for (const CatalogFile& f : disc.files) sums.push_back({f.onDisc, f.sha256});
  WriteFileBytes(dir / (folder + "/" + kSumsName), SumsText(sums));
  WriteFileBytes(dir / (folder + "/" + kSetFileName), SetFileText(disc.label));
  ASSERT_TRUE(c.Record({disc}, why)) << why;
}

}  // namespace

TEST(SetCommands, VerifyNamesAFlippedBitAMissingAndAnExtraFile) {
  TempDir dir;
  WriteDisc(dir, "disc1", {{"photos/a.jpg", std::string(100000, 'a')}, {"photos/2025/b.jpg", "bbb"}, {"c.txt", "c"}});
  ToolRun r = Fit({"verify", "photos.db", "disc1"}, dir.path());
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "disc 1 of set photos, written " + r.out.substr(30, 10) +
                       ": 3 files, 100,004 bytes\nevery file as it was written\n");

  std::string a = ReadFileBytes(dir / "disc1/photos/a.jpg");
  a[77777] ^= 0x10;
  WriteFileBytes(dir / "disc1/photos/a.jpg", a);
  fs::remove(dir / "disc1/photos/2025/b.jpg");
  WriteFileBytes(dir / "disc1/photos/notes.txt", "mine");
  WriteFileBytes(dir / "disc1/c.txt", "cc");
  r = Fit({"verify", "-q", "photos.db", "disc1"}, dir.path());
  EXPECT_EQ(r.exit, 4) << r.err;
  EXPECT_NE(r.out.find("\ncorrupt\tc.txt\t2 bytes, not 1\ncorrupt\tphotos/a.jpg\tSHA-256 differs\n"
                       "missing\tphotos/2025/b.jpg\nextra\tphotos/notes.txt\n2 corrupt, 1 missing, 1 extra\n"),
            std::string::npos)
      << r.out;
  r = Fit({"verify", "--json", "photos.db", "disc1"}, dir.path());
  EXPECT_EQ(r.exit, 4);
  const nlohmann::json j = ParseJson(r.out);
  EXPECT_EQ(j["missing"][0]["path"], "photos/2025/b.jpg");
  EXPECT_EQ(j["corrupt"].size(), 2u);

  // A folder that is not a disc of the set is refused, not checked: no set file, another set,
  // another disc written under the same number.
  DiscLabel label;
  std::string why;
  ASSERT_TRUE(ParseSetFile(ReadFileBytes(dir / "disc1/ZUMIBO-SET.TXT"), label, why)) << why;
  const DiscLabel holidays{"holidays", std::string(32, 'b'), 1, "2025-01-01", std::string(16, 'c')};
  label.discId = std::string(16, 'd');
  for (const auto& [folder, other] : {std::pair{"other", holidays}, std::pair{"again", label}}) {
    fs::create_directories(dir / folder);
    WriteFileBytes(dir / (std::string(folder) + "/ZUMIBO-SET.TXT"), SetFileText(other));
  }
  const std::pair<const char*, const char*> refusals[] = {
      {"src", "not a disc of a set"}, {"other", "of set \"holidays\", not of set"}, {"again", "not the disc 1 of"}};
  for (const auto& [folder, said] : refusals) {
    r = Fit({"verify", "photos.db", folder}, dir.path());
    EXPECT_EQ(r.exit, 1) << folder;
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
  }
}

TEST(SetCommands, FindNamesEveryVersionAndCatalogWhatChanged) {
  TempDir dir;
  WriteDisc(dir, "disc1", {{"photos/2025/img003.jpg", "old"}, {"photos/2025/img004.jpg", "4"}, {"raw/x.nef", "x"}});
  WriteFileBytes(dir / "src/photos/2025/img003.jpg", "new!");
  WriteDisc(dir, "disc2", {{"photos/2025/img003.jpg", ""}});
  ToolRun r = Fit({"find", "photos.db", "img003.jpg", dir / "src/raw/"}, dir.path());
  EXPECT_EQ(r.exit, 0) << r.err;
  const std::string date = r.out.substr(6, 10);
  EXPECT_EQ(r.out, "disc1\t" + date + "\t" + dir / "src/photos/2025/img003.jpg\n" + "disc2\t" + date + "\t" +
                       dir / "src/photos/2025/img003.jpg\n" + "disc1\t" + date + "\t" + dir / "src/raw/x.nef\n");
  r = Fit({"find", "--json", "photos.db", "/" + dir.path().substr(1) + "/src/photos/*/img00[4]*"}, dir.path());
  const nlohmann::json j = ParseJson(r.out);
  ASSERT_EQ(j["files"].size(), 1u) << r.out;
  EXPECT_EQ(j["files"][0]["on_disc"], "photos/2025/img004.jpg");
  EXPECT_EQ(j["files"][0]["size"], 1);
  r = Fit({"find", "photos.db", "*.png"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.out, "");

  // The set at a glance: one source changed since, one gone.
  WriteFileBytes(dir / "src/photos/2025/img004.jpg", "44");
  fs::remove(dir / "src/raw/x.nef");
  r = Fit({"catalog", "photos.db"}, dir.path());
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("set photos (photos.db): 2 discs, 4 files, 9 bytes\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("disc2     " + date + "            1                    4\n"), std::string::npos) << r.out;
  EXPECT_NE(
      r.out.find("changed\tdisc1\t" + dir / "src/photos/2025/img004.jpg\ngone\tdisc1\t" + dir / "src/raw/x.nef\n"),
      std::string::npos)
      << r.out;

  // A disc never burned, forgotten: the newer version is on no disc any more.
  r = Fit({"catalog", "--forget", "2", "photos.db"}, dir.path());
  EXPECT_EQ(r.exit, 0) << r.err;
  r = Fit({"find", "photos.db", "img003.jpg"}, dir.path());
  EXPECT_EQ(r.out, "disc1\t" + date + "\t" + dir / "src/photos/2025/img003.jpg\n");
  r = Fit({"catalog", "--forget", "2", "photos.db"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("has no disc 2"), std::string::npos) << r.err;
  r = Fit({"find", "photos.db"}, dir.path());
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("Try 'zumibo-fit find --help'"), std::string::npos) << r.err;
}
