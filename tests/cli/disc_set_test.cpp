// Deliveries into a disc set (--catalog): only what no disc holds is planned, the discs are
// numbered after the last, each checks with sha256sum and verify, and a delivery killed before
// it was recorded is planned again.
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include "tests/json.h"

#include "tests/cli/tool_run.h"
#include "tests/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string Files(std::size_t count, std::size_t bytes, const std::string& tag) {
  std::string data;
  for (std::size_t i = 0; i < bytes; ++i) data += static_cast<char>('a' + (i * 7 + count + tag.size()) % 26);
  return data;
}

int Checked(const std::string& disc) {
  return std::system(("cd '" + disc + "' && sha256sum --strict --quiet -c SHA256SUMS").c_str());
}

}  // namespace

TEST(DiscSet, MonthByMonthOnlyWhatIsNewWithSumsOnEveryDisc) {
  TempDir dir;
  fs::create_directory(dir / "p");
  for (int i = 0; i < 6; ++i) WriteFileBytes(dir / ("p/img" + std::to_string(i)), Files(i, 300'000 + i, "x"));
  const std::vector<std::string> run{"-c", "1M", "--all", "-q", "--json", "--catalog", "set.db", "--copy"};
  const auto deliver = [&](const std::string& into) {
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--link-into", into, "p"});
    return Fit(args, dir.path());
  };
  ToolRun r = deliver("jan");
  ASSERT_EQ(r.exit, 0) << r.err;
  const int discs = ParseJson(r.out)["disc_count"];
  for (int d = 1; d <= discs; ++d) EXPECT_EQ(Checked(dir / ("jan/disc" + std::to_string(d))), 0) << d;
  r = deliver("jan2");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("nothing new to plan"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "jan2"));

  // Two new files and one changed: exactly those, on discs numbered after the first month's.
  WriteFileBytes(dir / "p/new1", Files(1, 200'000, "new"));
  WriteFileBytes(dir / "p/new2", Files(2, 200'000, "new"));
  WriteFileBytes(dir / "p/img0", Files(0, 100'000, "changed"));
  r = deliver("feb");
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto feb = ParseJson(r.out);
  int files = 0;
  for (const auto& disc : feb["discs"]) {
    EXPECT_GT(disc["number"].get<int>(), discs);
    files += static_cast<int>(disc["files"].size());
  }
  EXPECT_EQ(files, 3);
  const std::string first = dir / ("feb/disc" + std::to_string(discs + 1));
  EXPECT_EQ(Checked(first), 0);
  r = Fit({"verify", "set.db", first}, dir.path());
  EXPECT_EQ(r.exit, 0) << r.out << r.err;
  r = Fit({"find", "set.db", "img0"}, dir.path());
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;  // both versions

  // Killed while it copies, before it recorded anything: the catalog holds no such disc, and the
  // next run plans the file again.
  Sparse(dir / "p/big", 700'000'000);
  std::vector<std::string> args{"-c",     "bd25",   "--all",       "-q",  "--catalog",
                                "set.db", "--copy", "--link-into", "mar", "p"};
  r = Fit(args, dir.path(), "", 150, SIGKILL);
  EXPECT_EQ(r.exit, 128 + SIGKILL);
  r = Fit({"catalog", "--json", "set.db"}, dir.path());
  EXPECT_EQ(ParseJson(r.out)["discs"].size(), static_cast<std::size_t>(discs + feb["disc_count"].get<int>())) << r.out;
  args[8] = "apr";
  r = Fit(args, dir.path());
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("p/big"), std::string::npos) << r.out;
}
