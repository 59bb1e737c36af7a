// The zumibo-fit program, run as a separate process on real files.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>
#include "tests/json.h"

#include "tests/cli/tool_run.h"
#include "tests/temp_dir.h"

namespace {

// A folder of music with the traps a walk must get past.
void MakeMusic(const TempDir& dir) {
  Sparse(dir / "music/a.mp3", 5000);
  Sparse(dir / "music/sub/b.mp3", 3000);
  Sparse(dir / "music/sub/c.mp3", 2000);
  Sparse(dir / "music/.hidden", 900);
  Sparse(dir / "music/.cache/x", 100);
  std::filesystem::create_directory_symlink("..", dir / "music/sub/loop");
  std::filesystem::create_directory_symlink(dir / "music/sub", dir / "music/again");
  std::filesystem::create_symlink(dir / "nowhere", dir / "music/broken");
}

}  // namespace

TEST(ZumiboFit, TextOutputWalksFoldersOnceAndSkipsDotNames) {
  TempDir dir;
  MakeMusic(dir);
  const ToolRun r = Fit({"-c", "7,000", "-q", "-L", "music"}, dir.path());
  EXPECT_EQ(r.exit, 0);
  // b.mp3 and c.mp3 are reachable as sub/ and again/ (the same folder), as cp -rL copies them:
  // one file each, counted once, under both names.
  EXPECT_EQ(r.out,
            "5,000  music/a.mp3\n2,000  music/again/c.mp3\n       music/sub/c.mp3 (another name of the file above)\n"
            "7,000  total, 2 files\n7,000  capacity\n    0  remainder\n");
  EXPECT_NE(r.err.find("warning: cannot read music/broken"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("2 links back into a folder above them not followed"), std::string::npos) << r.err;
}

TEST(ZumiboFit, JsonNullAndPresets) {
  TempDir dir;
  Sparse(dir / "iso/big.iso", 700'000'000);
  Sparse(dir / "iso/small.iso", 30'000'000);
  Sparse(dir / u8"iso/ソ表.iso", 6'970'752);  // a Linux name: UTF-8, not the code page 932 of our literals
  const ToolRun j = Fit({"--capacity", "cd700", "--raw", "--json", "iso"}, dir.path());
  ASSERT_EQ(j.exit, 0) << j.err;
  const auto doc = ParseJson(j.out);
  EXPECT_EQ(doc["capacity"], 736'970'752);  // 359,849 sectors, as 80-minute blanks report them
  EXPECT_EQ(doc["total"], 736'970'752);
  EXPECT_EQ(doc["remainder"], 0);
  EXPECT_EQ(doc["complete"], true);
  EXPECT_EQ(doc["candidates"], 3);
  ASSERT_EQ(doc["files"].size(), 3u);
  EXPECT_EQ(doc["files"][0]["path"], "iso/big.iso");
  EXPECT_EQ(doc["files"][2]["path"], u8"iso/ソ表.iso");
  EXPECT_TRUE(doc["elapsed_ms"].is_number());

  const ToolRun z = Fit({"-c", "736970752", "-0", "-q", "iso"}, dir.path());
  EXPECT_EQ(z.exit, 0);
  EXPECT_EQ(z.out, std::string("iso/big.iso\0iso/small.iso\0", 26) + u8"iso/ソ表.iso" + std::string(1, '\0'));

  // The file limit bounds the result, the greedy start of the window included.
  const ToolRun limited = Fit({"-c", "737280000", "-m", "1", "--json", "-q", "iso"}, dir.path());
  ASSERT_EQ(ParseJson(limited.out)["files"].size(), 1u);
  EXPECT_EQ(ParseJson(limited.out)["files"][0]["path"], "iso/big.iso");
}

TEST(ZumiboFit, ListInputOrdersAndMergesLikeADrop) {
  TempDir dir;
  const ToolRun r = Fit({"-c", "26", "-q", "--list", "-"}, dir.path(),
                        "10\t/x/a\n20\t/x/b\r\nnot a line\n5\t/x/a\n1,000\t/x/huge\n\n");
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.out, "20  /x/b\n 5  /x/a\n25  total, 2 files\n26  capacity\n 1  remainder\n");
  EXPECT_NE(r.err.find("stdin:3: not a \"SIZE<TAB>PATH\" line"), std::string::npos) << r.err;
}

TEST(ZumiboFit, AllPlansDiscAfterDisc) {
  TempDir dir;
  const std::string list = "6\t/a\n5\t/b\n4\t/c\n3\t/d\n2\t/e\n99\t/too-big\n";
  const ToolRun r = Fit({"-c", "10", "--all", "--json", "-q", "--list", "-"}, dir.path(), list);
  ASSERT_EQ(r.exit, 3) << r.err;  // planned, with a file on no disc
  const auto doc = ParseJson(r.out);
  ASSERT_EQ(doc["discs"].size(), 2u);
  EXPECT_EQ(doc["discs"][0]["total"], 10);
  EXPECT_EQ(doc["discs"][1]["total"], 10);
  ASSERT_EQ(doc["not_on_any_disc"].size(), 1u);
  EXPECT_EQ(doc["not_on_any_disc"][0]["path"], "/too-big");
  EXPECT_FALSE(doc.contains("unplaced"));
  const ToolRun text = Fit({"-c", "10", "--all", "-q", "--list", "-"}, dir.path(), list);
  EXPECT_NE(text.out.find("disc 2 of 2"), std::string::npos);
  EXPECT_NE(text.out.find("not on any disc: 1 file or folder\n99  /too-big  (larger than a disc"), std::string::npos)
      << text.out;
}

TEST(ZumiboFit, RefusalsAndUsageErrors) {
  TempDir dir;
  std::filesystem::create_directory(dir / "empty");
  Sparse(dir / "one/f", 500);
  ToolRun r = Fit({"-c", "100", "empty"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("there is not a single file in the list"), std::string::npos);
  r = Fit({"-c", "100", "one"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("every file in the list exceeds the capacity limit"), std::string::npos);
  r = Fit({"-c", "-100", "one"}, dir.path());
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("negative"), std::string::npos);
  for (const auto& args : std::vector<std::vector<std::string>>{{"one"},
                                                                {"-c", "100"},
                                                                {"-c", "1", "--bogus", "one"},
                                                                {"-c", "1", "--json", "-0", "one"},
                                                                {"-c", "1", "--list", "-", "one"}}) {
    r = Fit(args, dir.path());
    EXPECT_EQ(r.exit, 2) << args.back();
    EXPECT_NE(r.err.find("Try 'zumibo-fit --help'"), std::string::npos) << r.err;
  }
  r = Fit({"--help"}, dir.path());
  EXPECT_EQ(r.exit, 0);
  EXPECT_NE(r.out.find("--capacity"), std::string::npos);
}

// 60 random 56-bit sizes, capacity half their total: subset sum at density about 1, where no
// known method (tables of totals, meet in the middle, lists of the smallest) finishes in time a
// test could wait for, however fast the engine becomes: the search runs until it is stopped.
std::string HardList(std::int64_t& total) {
  std::mt19937_64 rng(5);
  std::string list;
  total = 0;
  for (int i = 0; i < 60; ++i) {
    const std::int64_t s = std::uniform_int_distribution<std::int64_t>(1, (std::int64_t{1} << 56) - 1)(rng);
    total += s;
    list += std::to_string(s) + "\t/f" + std::to_string(i) + "\n";
  }
  return list;
}

// 3,000 sizes of 20% to 50% of a disc of 1,000,000 bytes: the planner ends some ten discs above
// its lower bound, so --all searches until it is stopped.
std::string UnsettledList(std::int64_t& total) {
  std::mt19937_64 rng(1040);
  std::uniform_int_distribution<std::int64_t> size(200'000, 500'000);
  std::string list;
  total = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::int64_t s = size(rng);
    total += s;
    list += std::to_string(s) + "\t/f" + std::to_string(i) + "\n";
  }
  return list;
}

TEST(ZumiboFit, TimeLimitAndInterruptKeepTheBestSoFar) {
  std::int64_t total = 0;
  const std::string list = HardList(total);
  TempDir dir;
  const std::string capacity = std::to_string(total / 2 + 1);
  const ToolRun limited = Fit({"-c", capacity, "--json", "--time-limit", "0.3", "--list", "-"}, dir.path(), list);
  ASSERT_EQ(limited.exit, 0);
  const auto doc = ParseJson(limited.out);
  if (doc["remainder"] != 0) {
    EXPECT_EQ(doc["complete"], false);
  }
  EXPECT_LE(doc["total"].get<std::int64_t>(), total / 2 + 1);

  // Ctrl-C prints the whole result, says it was interrupted (not stopped by a time limit) and
  // exits 130; progress goes only to a terminal.
  const ToolRun interrupted = Fit({"-c", capacity, "--list", "-"}, dir.path(), list, 300);
  EXPECT_EQ(interrupted.exit, 130);
  EXPECT_NE(interrupted.out.find("remainder"), std::string::npos) << interrupted.out;
  if (interrupted.out.find("  0  remainder") == std::string::npos &&
      interrupted.out.find(" 0  remainder") == std::string::npos) {
    EXPECT_NE(interrupted.out.find("(interrupted: best found so far)"), std::string::npos) << interrupted.out;
  }
  EXPECT_EQ(interrupted.err.find("best so far"), std::string::npos) << interrupted.err;
}

// The help names what each value is; usage errors speak the tool's words, not the parser's; a
// comma is only a thousands separator, in a capacity as in a list.
TEST(ZumiboFit, HelpAndUsageErrorsInTheToolsOwnWords) {
  TempDir dir;
  const ToolRun help = Fit({"--help"}, dir.path());
  for (const char* value : {"-c, --capacity SIZE", "--time-limit SECONDS", "--path-lists DIR", "--fs iso|udf"})
    EXPECT_NE(help.out.find(value), std::string::npos) << value;
  EXPECT_EQ(help.out.rfind("Usage: zumibo-fit ", 0), 0u) << help.out;
  for (const char* leftover : {"TEXT", "REQUIRED", "Excludes"}) EXPECT_EQ(help.out.find(leftover), std::string::npos);
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_NE(Fit({"-c", "1", "-c", "2", "x"}, dir.path()).err.find("--capacity is given more than once"),
            std::string::npos);
  EXPECT_NE(Fit({"-c", "4.7", "x"}, dir.path()).err.find("as in 4.7G"), std::string::npos);
  const ToolRun list =
      Fit({"-c", "100", "-q", "--raw", "--list", "-"}, dir.path(), ",\t/comma\n1,5\t/odd\n1,000\t/k\n");
  EXPECT_NE(list.err.find("stdin:1: not a"), std::string::npos) << list.err;
  EXPECT_NE(list.err.find("stdin:2: not a"), std::string::npos) << list.err;
  EXPECT_EQ(list.exit, 1) << list.out;  // /k is 1,000 bytes, over the capacity; nothing else is a file
}

TEST(ZumiboFit, CapacitiesCountsAndTimesMeanWhatTheySay) {
  TempDir dir;
  const std::string list = "700000000\t/a\n4700000000\t/b\n681574400\t/c\n";
  const auto capacity = [&](const std::string& text) {
    const ToolRun r = Fit({"-c", text, "--json", "-q", "--list", "-"}, dir.path(), list);
    return r.exit == 0 ? ParseJson(r.out)["capacity"].get<std::int64_t>() : -r.exit;
  };
  EXPECT_EQ(capacity("700M"), 700'000'000);
  EXPECT_EQ(capacity("4.7G"), 4'700'000'000);
  EXPECT_EQ(capacity("4.7GB"), 4'700'000'000);
  EXPECT_EQ(capacity("650MiB"), 681'574'400);
  EXPECT_EQ(capacity("4,700,372,992"), 4'700'372'992);
  EXPECT_EQ(capacity("bd100"), 100'103'356'416);
  EXPECT_NE(Fit({"-c", "700", "--list", "-"}, dir.path(), list).err.find("700 bytes: for megabytes give 700M"),
            std::string::npos);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-c", "abc"},
                                             {"-c", "-5"},
                                             {"-c", "99999999999999999999"},
                                             {"-c", "1.5"},
                                             {"-c", "1,5G"},
                                             {"-c", "4.7X"},
                                             {"-c", "1", "--max-files", "abc"},
                                             {"-c", "1", "--time-limit", "0"},
                                             {"-c", "1", "--raw", "--block", "512"},
                                             {"-c", "1,5"},
                                             {"-c", "1,,5"},
                                             {"-c", ",100"},
                                             {"-c", "1", "-c", "2"},
                                             {"-c", "dvd", "--fs", "hfs"}}) {
    std::vector<std::string> full = args;
    full.insert(full.end(), {"--list", "-"});
    const ToolRun r = Fit(full, dir.path(), list);
    EXPECT_EQ(r.exit, 2) << args[1];
    EXPECT_LT(r.err.size(), 300u) << r.err;
    EXPECT_NE(r.err.find("Try 'zumibo-fit --help'"), std::string::npos) << r.err;
  }
}

// A few hundred real files in nested folders, chosen for a disc of 24 MB with a preset's
// accounting, then mastered by genisoimage and xorriso: the image fits, and the reported
// on-disc total is not below it.
TEST(ZumiboFit, ChosenFilesMasterWithinTheDisc) {
  TempDir dir;
  std::mt19937_64 rng(11);
  for (int i = 0; i < 300; ++i) {
    const std::string folder = "tree/" + std::string(i % 3 ? "Photos/" : "Music/Album ") + std::to_string(i % 17) + "/";
    Sparse(dir / (folder + "file number " + std::to_string(i) + ".dat"),
           std::uniform_int_distribution<int>(1, 200'000)(rng));
  }
  const ToolRun r = Fit({"-c", "24,000,000", "--on-disc", "--json", "-q", "--path-lists", "lists", "tree"}, dir.path());
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto doc = ParseJson(r.out);
  EXPECT_GT(doc["files"].size(), 150u);
  EXPECT_LT(doc["raw_total"].get<std::int64_t>(), doc["total"].get<std::int64_t>());
  for (const std::string tool : {"genisoimage -quiet", "xorriso -as mkisofs"}) {
    const std::string command = "cd '" + dir.path() + "' && " + tool +
                                " -D -J -R -graft-points -path-list lists/disc1.list -print-size 2>/dev/null";
    std::FILE* p = popen(command.c_str(), "r");
    ASSERT_TRUE(p);
    long long sectors = 0;
    ASSERT_EQ(std::fscanf(p, "%lld", &sectors), 1) << tool;
    pclose(p);
    EXPECT_LE(sectors * 2048, doc["total"].get<std::int64_t>()) << tool;
    EXPECT_GT(sectors * 2048, doc["total"].get<std::int64_t>() * 99 / 100) << tool;
  }
}

TEST(ZumiboFit, EachFileCountedOnceAndLinkedIntoDiscFolders) {
  TempDir dir;
  Sparse(dir / "a/same.txt", 3000);
  Sparse(dir / "b/same.txt", 4000);
  std::filesystem::create_hard_link(dir / "a/same.txt", dir / "a/hard.txt");
  std::filesystem::create_symlink(dir / "b/same.txt", dir / "a/soft.txt");
  ToolRun r = Fit({"-c", "100000", "--raw", "--json", "-q", "--link-into", "out", "a", "b"}, dir.path());
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ParseJson(r.out)["total"], 7000);
  EXPECT_NE(r.err.find("1 symbolic link skipped"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1 file has several names"), std::string::npos) << r.err;
  // Each same.txt under its own folder; a/ holds both names of the hard-linked file, as the disc will.
  EXPECT_EQ(std::filesystem::file_size(dir / "out/disc1/b/same.txt"), 4000u);
  EXPECT_EQ(std::filesystem::file_size(dir / "out/disc1/a/same.txt"), 3000u);
  EXPECT_EQ(std::filesystem::file_size(dir / "out/disc1/a/hard.txt"), 3000u);
  // Nothing is replaced: a second run into the same folder places nothing and says so.
  r = Fit({"-c", "100000", "--raw", "-q", "--link-into", "out", "--copy", "a", "b"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("holds an earlier plan"), std::string::npos) << r.err;
}

TEST(ZumiboFit, AllUsesTheFewestDiscs) {
  TempDir dir;
  const ToolRun r = Fit({"-c", "100", "--all", "--json", "-q", "--list", "-"}, dir.path(),
                        "47\t/a\n69\t/b\n60\t/c\n47\t/d\n21\t/e\n32\t/f\n101\t/g\n");
  ASSERT_EQ(r.exit, 3) << r.err;
  const auto doc = ParseJson(r.out);
  EXPECT_EQ(doc["disc_count"], 3);
  EXPECT_EQ(doc["minimum"], true);
  EXPECT_EQ(doc["not_on_any_disc"].size(), 1u);
  std::int64_t placed = 0;
  for (const auto& d : doc["discs"]) {
    EXPECT_LE(d["total"].get<std::int64_t>(), 100);
    placed += d["total"].get<std::int64_t>();
  }
  EXPECT_EQ(placed, 276);
  // Two discs would have to hold the 200 bytes exactly: the search proves a third needed.
  const ToolRun tight =
      Fit({"-c", "100", "--all", "-q", "--list", "-"}, dir.path(), "61\t/a\n50\t/b\n30\t/c\n30\t/d\n17\t/e\n12\t/f\n");
  EXPECT_NE(tight.out.find("3 discs (minimum)"), std::string::npos) << tight.out;
}

TEST(ZumiboFit, BadListsAreRefusedLineByLineOrWhole) {
  TempDir dir;
  const std::string list = std::string("5\t/nul\0inside\n", 14) + "12345678901234567890\t/huge\n7\t/ok\n";
  ToolRun r = Fit({"-c", "100", "-q", "--list", "-"}, dir.path(), list);
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.out, "  7  /ok\n  7  total, 1 file\n100  capacity\n 93  remainder\n");
  EXPECT_NE(r.err.find("stdin:1: a NUL byte"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("stdin:2: the size 12345678901234567890 is too large"), std::string::npos) << r.err;
  r = Fit({"-c", "100", "-q", "-0", "--list0", "-"}, dir.path(), std::string("5\tline\nbreak\0", 13));
  EXPECT_EQ(r.out, std::string("line\nbreak\0", 11));
  r = Fit({"-c", "100", "--list", "-"}, dir.path(), "1\t/a\n" + std::string(70'000, 'x') + "\n");
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("stdin:2: a record longer than 65,536 bytes"), std::string::npos) << r.err;
  r = Fit({"-c", "100", "--list", "."}, dir.path());
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("is a folder"), std::string::npos) << r.err;
}

TEST(ZumiboFit, SignalsStopTheSearchOrSayTheListWasCutShort) {
  std::int64_t total = 0;
  const std::string list = HardList(total);
  TempDir dir;
  const std::string capacity = std::to_string(total / 2 + 1);
  for (int signal : {SIGTERM, SIGHUP}) {
    const ToolRun r = Fit({"-c", capacity, "--json", "-q", "--list", "-"}, dir.path(), list, 300, signal);
    ASSERT_EQ(r.exit, 128 + signal);
    const auto doc = ParseJson(r.out);
    EXPECT_TRUE(doc["complete"] == false || doc["remainder"] == 0) << signal;
    EXPECT_EQ(doc["interrupted"], true);
  }
  // The stream is still open: what came so far is not the list.
  ToolRun r = Fit({"-c", capacity, "-q", "--list", "-"}, dir.path(), list, 200, SIGINT, true);
  EXPECT_EQ(r.exit, 130);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("cut short"), std::string::npos) << r.err;
  // --all stops its search too and still prints a whole plan.
  const std::string unsettled = UnsettledList(total);
  r = Fit({"-c", "1000000", "--raw", "--all", "--time-limit", "600", "--json", "-q", "--list", "-"}, dir.path(),
          unsettled, 300);
  ASSERT_EQ(r.exit, 130) << r.err;
  const auto doc = ParseJson(r.out);
  EXPECT_EQ(doc["interrupted"], true);
  std::int64_t placed = 0;
  for (const auto& d : doc["discs"]) placed += d["total"].get<std::int64_t>();
  EXPECT_EQ(placed, total);
  // The time limit ends it above its bound: the plan does not claim the search was done (it did
  // once the last stage, emptying discs, ended within its moment of time).
  r = Fit({"-c", "1000000", "--raw", "--all", "--time-limit", "1", "-q", "--list", "-"}, dir.path(), unsettled);
  EXPECT_EQ(r.exit, 0);
  EXPECT_NE(r.out.find("search for fewer stopped"), std::string::npos) << r.out.substr(r.out.size() - 200);
}

// An option that takes a value takes exactly one, in every spelling, wherever the PATHs stand.
TEST(ZumiboFit, EachOptionTakesOneValueWhereverThePathsStand) {
  TempDir dir;
  Sparse(dir / "albums/a.mp3", 3000);
  Sparse(dir / "misc/b.mp3", 2000);
  Sparse(dir / "misc/c.tmp", 1000);
  std::ofstream(dir / "patterns") << "*.tmp\n";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-c", "6000", "--all", "albums", "--exclude", "*.tmp", "misc"},
           {"-c", "6000", "--all", "--exclude", "*.tmp", "albums", "misc"},
           {"-c", "6000", "--all", "--exclude=*.tmp", "albums", "misc"},
           {"-c", "6000", "--all", "albums", "misc", "--exclude-from", "patterns"},
           {"-c", "6000", "--all", "--exclude-from=patterns", "albums", "--exclude", "*.none", "misc"},
           {"-qc6000", "--all", "albums", "--exclude", "*.tmp", "--", "misc"}}) {
    std::vector<std::string> full{"-q", "--raw"};
    full.insert(full.end(), args.begin(), args.end());
    const ToolRun r = Fit(full, dir.path());
    EXPECT_EQ(r.exit, 0) << args[3] << ": " << r.err;
    EXPECT_NE(r.out.find("albums/a.mp3"), std::string::npos) << args[3];
    EXPECT_NE(r.out.find("misc/b.mp3"), std::string::npos) << args[3];
    EXPECT_EQ(r.out.find("c.tmp"), std::string::npos) << args[3];
  }
  EXPECT_NE(Fit({"-c", "1", "--json=yes", "albums"}, dir.path()).err.find("--json takes no value"), std::string::npos);
  EXPECT_NE(Fit({"-c", "1", "albums", "--exclude"}, dir.path()).err.find("--exclude needs a value"), std::string::npos);
}
