// zumibo-fit accounts for every file it is given, and every list it writes masters within its
// disc: run as a separate process on real files, the lists mastered by genisoimage and xorriso.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <vector>
#include "tests/json.h"

#include "tests/cli/tool_run.h"
#include "tests/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The sectors a mastering command reports with -print-size, or -1 when it fails.
long long Sectors(const std::string& command) {
  std::FILE* p = popen((command + " -print-size 2>/dev/null").c_str(), "r");
  long long sectors = -1;
  if (!p || std::fscanf(p, "%lld", &sectors) != 1) sectors = -1;
  if (p && pclose(p) != 0) sectors = -1;
  return sectors;
}

// Every name of every file on a disc of the JSON output: the file's own and its other names.
std::vector<std::string> OnDisc(const nlohmann::json& disc) {
  std::vector<std::string> names;
  for (const auto& f : disc["files"]) {
    names.push_back(f["on_disc"].get<std::string>());
    if (f.contains("also")) {
      for (const auto& a : f["also"]) names.push_back(a["on_disc"].get<std::string>());
    }
  }
  return names;
}

bool Holds(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

// Dot-files are taken, or left out and counted with --exclude '.*', whose folders are not walked;
// a hard-linked file is counted once and
// goes on the disc under both names (genisoimage stores both); with -L a folder also reached
// through a link is on the disc under both paths, as cp -rL copies it.
TEST(Accounting, DotFilesHardLinksAndLinkedFoldersAreAllOnTheDisc) {
  TempDir dir;
  Sparse(dir / "m/a.mp3", 50'000);
  Sparse(dir / "m/.hidden", 900);
  Sparse(dir / "m/.cache/x", 100);
  Sparse(dir / "m/sub/b.mp3", 30'000);
  fs::create_hard_link(dir / "m/sub/b.mp3", dir / "m/b-again.mp3");
  fs::create_directory_symlink("sub", dir / "m/linked");

  ToolRun r = Fit({"-c", "cd700", "--json", "-q", "--path-lists", "lists", "m"}, dir.path());
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("1 symbolic link skipped"), std::string::npos) << r.err;
  auto doc = ParseJson(r.out);
  EXPECT_EQ(doc["raw_total"], 81'000);  // the hard-linked data once, the dot-files taken
  std::vector<std::string> names = OnDisc(doc);
  EXPECT_TRUE(Holds(names, "m/sub/b.mp3") && Holds(names, "m/b-again.mp3")) << r.out;
  const std::string list = ReadFileBytes(dir / "lists/disc1.list");
  EXPECT_NE(list.find("m/b-again.mp3="), std::string::npos) << list;
  const long long sectors =
      Sectors("genisoimage -quiet -D -J -joliet-long -R -graft-points -path-list '" + dir / "lists/disc1.list" + "'");
  EXPECT_GT(sectors, 0);
  EXPECT_LE(sectors * 2048, doc["total"].get<long long>());

  fs::create_directory_symlink("..", dir / "m/.cache/up");
  r = Fit({"-c", "cd700", "--json", "-q", "-L", "--exclude", ".*", "m"}, dir.path());
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ParseJson(r.out)["raw_total"], 80'000);
  EXPECT_NE(r.err.find("2 files and folders left out by --exclude"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("not followed"), std::string::npos) << r.err;  // .cache/up never met

  r = Fit({"-c", "cd700", "--json", "-q", "--hidden", "-L", "m"}, dir.path());
  ASSERT_EQ(r.exit, 0) << r.err;
  doc = ParseJson(r.out);
  names = OnDisc(doc);
  for (const char* name : {"m/.hidden", "m/.cache/x", "m/sub/b.mp3", "m/linked/b.mp3", "m/b-again.mp3"})
    EXPECT_TRUE(Holds(names, name)) << name << "\n" << r.out;
  EXPECT_EQ(doc["raw_total"], 81'000);
}

// Whatever the user asked for and no disc holds is named at the end, with the reason, and the
// run says so in its exit status: a file larger than a disc, listed paths that are no files
// when lists are written, a name no list can hold. A file that fits an empty disc is never one
// of them, even beside many folders.
TEST(Accounting, FilesNoDiscHoldsAreNamedAndGiveExitStatus3) {
  TempDir dir;
  Sparse(dir / "f/ok.bin", 1000);
  Sparse(dir / "f/line\nbreak.bin", 1000);
  Sparse(dir / "f/huge.iso", 5'000'000'000);
  fs::create_directories(dir / "f/folder");
  const std::string list = "1000\t" + dir / "f/ok.bin" + "\n5000000000\t" + dir / "f/huge.iso" + "\n4096\t" +
                           dir / "f/folder" + "\n10\t" + dir / "f/missing" + "\n";
  ToolRun r = Fit({"-c", "dvd", "--all", "-q", "--path-lists", "lists", "--list", "-"}, dir.path(), list);
  EXPECT_EQ(r.exit, 3) << r.err;
  EXPECT_NE(r.err.find("stdin:3: " + dir / "f/folder" + ": not a regular file, skipped"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("not on any disc: 3 files and folders"), std::string::npos) << r.out;
  for (const char* name : {"f/huge.iso  (larger than a disc", "f/folder  (not a regular file (line 3))", "f/missing"})
    EXPECT_NE(r.out.find(name), std::string::npos) << name << "\n" << r.out;
  r = Fit({"-c", "dvd", "--json", "-q", "--path-lists", "lists", "--replace", "f"}, dir.path());
  EXPECT_EQ(r.exit, 3) << r.err;
  const auto doc = ParseJson(r.out);
  ASSERT_EQ(doc["not_on_any_disc"].size(), 1u) << r.out;
  EXPECT_EQ(doc["not_on_any_disc"][0]["path"], "f/line\nbreak.bin");
  EXPECT_EQ(doc["files"].size(), 1u);

  // Exactly a disc, by the model, is no more than a disc; nor is a video that fills a DVD beside
  // 3,000 small files in 300 folders, whose folders the other discs make room for.
  r = Fit({"-c", "2427588", "--on-disc", "--json", "-q", "--list", "-"}, dir.path(), "2048000\ta/big\n");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(ParseJson(r.out)["remainder"], 0);
  std::string many = "4699500000\tvideo/movie.mkv\n";
  for (int i = 0; i < 3000; ++i)
    many += "3000000\tfolder" + std::to_string(i % 300) + "/file" + std::to_string(i) + ".jpg\n";
  r = Fit({"-c", "dvd", "--all", "--json", "-q", "--list", "-"}, dir.path(), many);
  EXPECT_EQ(r.exit, 0) << r.err;
  const auto all = ParseJson(r.out);
  EXPECT_EQ(all["not_on_any_disc"].size(), 0u);
  EXPECT_GE(all["disc_count"].get<int>(), all["lower_bound"].get<int>());
  EXPECT_EQ(all["disc_count"], 3);
}

// Lists written for a byte capacity count as on the disc unless --raw says otherwise, and every
// list masters within the capacity with the command the tool prints: long names (some alike in
// their first 64 or 103 characters, which genisoimage refuses with Joliet unless they are told
// apart), with -joliet-long, and with --fs udf with -udf.
TEST(Accounting, EveryWrittenListMastersWithThePrintedCommand) {
  TempDir dir;
  std::mt19937 rng(3);
  std::int64_t total = 0;
  for (int i = 0; i < 240; ++i) {
    std::string name = i % 3 ? "photo " + std::to_string(i) : std::string(i % 2 ? 70 : 110, 'n') + std::to_string(i);
    const int size = std::uniform_int_distribution<int>(1000, 400'000)(rng);
    total += size;
    Sparse(dir / ("tree/album " + std::to_string(i % 9) + "/" + name + ".jpg"), size);
  }
  const std::string capacity = std::to_string(total / 3);
  for (const char* fs : {"iso", "udf"}) {
    fs::remove_all(dir / "lists");
    const ToolRun r = Fit({"-c", capacity, "--fs", fs, "--all", "--json", "--path-lists", "lists", "tree"}, dir.path());
    ASSERT_EQ(r.exit, 0) << r.err;
    const auto doc = ParseJson(r.out);
    EXPECT_EQ(doc["accounting"], std::string(fs) == "iso" ? "iso" : "iso+udf");
    const std::string printed = r.err.substr(r.err.find("master disc N with ") + 19);
    const std::string command = printed.substr(0, printed.find("discN.list") + 10);
    EXPECT_EQ(command.rfind("genisoimage -D -J -joliet-long -R ", 0), 0u) << command;
    for (std::size_t d = 1; d <= doc["discs"].size(); ++d) {
      std::string disc = command;
      disc.replace(disc.find("discN.list"), 10, "disc" + std::to_string(d) + ".list");
      const long long sectors = Sectors("cd '" + dir.path() + "' && " + disc);
      EXPECT_GT(sectors, 0) << disc;
      EXPECT_LE(sectors * 2048, std::stoll(capacity)) << disc;
      if (std::string(fs) == "iso") {
        const std::string xorriso = "xorriso -as mkisofs" + disc.substr(11);
        EXPECT_LE(Sectors("cd '" + dir.path() + "' && " + xorriso) * 2048, std::stoll(capacity)) << xorriso;
      }
    }
  }
  const ToolRun raw =
      Fit({"-c", capacity, "--raw", "--all", "--json", "-q", "--path-lists", "lists", "--replace", "tree"}, dir.path());
  EXPECT_EQ(ParseJson(raw.out)["accounting"], "raw");
}

// Folders kept whole go on one disc each (one larger than a disc is split, and told); patterns
// leave out what rsync would leave out; the folder results are written to is never collected,
// even inside a PATH; two listed paths that meet on the disc are both kept.
TEST(Accounting, WholeFoldersExcludesTheTargetAndPathsThatMeet) {
  TempDir dir;
  for (int album = 0; album < 6; ++album) {
    for (int track = 0; track < 5; ++track)
      Sparse(dir / ("music/album" + std::to_string(album) + "/t" + std::to_string(track) + ".mp3"), 9'000 + album);
  }
  for (int track = 0; track < 12; ++track) Sparse(dir / ("music/huge/t" + std::to_string(track) + ".mp3"), 9'000);
  Sparse(dir / "music/album0/x.tmp", 500);
  Sparse(dir / "music/album1/raw/big.nef", 500);
  Sparse(dir / "music/album2/cover.jpg", 500);
  WriteFileBytes(dir / "patterns", "# comments and empty lines are no patterns\n\ncover.jpg\n");
  ToolRun r = Fit({"-c", "100000", "--raw", "--all", "--json", "-q", "--whole", "1", "--exclude", "*.tmp", "--exclude",
                   "raw/", "--exclude-from", "patterns", "music"},
                  dir.path());
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("the folder music/huge (12 files"), std::string::npos) << r.err;
  const auto doc = ParseJson(r.out);
  int files = 0;
  for (const auto& disc : doc["discs"]) {
    std::set<std::string> albums;
    for (const std::string& name : OnDisc(disc)) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos);
      EXPECT_EQ(name.find("raw/"), std::string::npos);
      EXPECT_EQ(name.find("cover"), std::string::npos);
      if (name.find("/album") != std::string::npos) albums.insert(name.substr(0, name.rfind('/')));
      ++files;
    }
    for (const std::string& album : albums) {
      int count = 0;
      for (const std::string& name : OnDisc(disc)) count += name.rfind(album + "/", 0) == 0;
      EXPECT_EQ(count, 5) << album;  // all of an album's tracks on this disc
    }
  }
  EXPECT_EQ(files, 42);
  r = Fit({"-c", "100000", "--raw", "--all", "-q", "--whole", "9", "music"}, dir.path());
  EXPECT_NE(r.err.find("--whole 9: no folder is that deep"), std::string::npos) << r.err;

  // Written into a folder inside the PATH, twice: the second run collects nothing of the first.
  for (int run = 0; run < 2; ++run) {
    r = Fit({"-c", "1000000", "--raw", "-q", "--link-into", "music/out", "--replace", "music"}, dir.path());
    ASSERT_EQ(r.exit, 0) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "music/out/disc1/music/out"));

  r = Fit({"-c", "1000", "--json", "-q", "--raw", "--list", "-"}, dir.path(), "10\t../a\n20\ta\n30\t./x/../a\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  std::set<std::string> paths;
  const auto listed = ParseJson(r.out);
  for (const auto& f : listed["files"]) paths.insert(f["on_disc"].get<std::string>());
  EXPECT_EQ(paths, (std::set<std::string>{"a", "a~2", "x/a"}));
}

// What is written is planned as it is on the disc now: a listed size that is stale is replaced
// by the file's own, names of one file in a list are one file, and a link whose file no list
// line can hold is set apart before planning, not dropped from its list afterwards.
TEST(Accounting, WrittenPlansTakeFilesAsTheyAreNow) {
  TempDir dir;
  Sparse(dir / "clip.mp4", 5'000'000);
  fs::create_hard_link(dir / "clip.mp4", dir / "clip-again.mp4");
  ToolRun r = Fit({"-c", "3M", "--json", "-q", "--path-lists", "L", "--list", "-"}, dir.path(),
                  "100\tclip.mp4\n100\tclip-again.mp4\n");
  EXPECT_EQ(r.exit, 1) << r.out;  // 5,000,000 bytes: larger than the disc
  EXPECT_NE(r.err.find("2 listed files have another size than the list says"), std::string::npos) << r.err;
  r = Fit({"-c", "6M", "--json", "-q", "--path-lists", "L", "--list", "-"}, dir.path(),
          "100\tclip.mp4\n100\tclip-again.mp4\n");
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto doc = ParseJson(r.out);
  EXPECT_EQ(doc["raw_total"], 5'000'000);  // once, with both names
  EXPECT_EQ(OnDisc(doc).size(), 2u);

  fs::create_directory(dir / "real");
  WriteFileBytes(dir / "real/we\nird", "x");
  fs::create_directory(dir / "src");
  fs::create_symlink("../real/we\nird", dir / "src/link");
  WriteFileBytes(dir / "src/ok", "ok");
  r = Fit({"-c", "1M", "-q", "-L", "--path-lists", "L2", "src"}, dir.path());
  EXPECT_EQ(r.exit, 3) << r.err;
  EXPECT_NE(r.out.find("src/link  (a path list cannot hold"), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find("left out of the path lists"), std::string::npos) << r.err;
}

// Names genisoimage could not master or Joliet could not tell apart, and a file too large for
// genisoimage's ISO 9660: every disc masters with the command printed for it, in a UTF-8 locale,
// by genisoimage and by xorriso, with every Joliet name of a folder its own.
TEST(Accounting, OddNamesAndLargeFilesMasterWithThePrintedCommands) {
  TempDir dir;
  const std::string n103(103, 'n'), f110(110, 'f');
  for (const std::string& name :
       {std::string("t/star*q"), std::string("t/star?q"), std::string("t/colon:a"), std::string("t/colon_a"),
        std::string("t/inv\xff\xfe"),
        std::string("t/a\xf0\x9f\x98\x80"
                    "b"),
        std::string("t/a_b"), "t/" + n103, "t/" + n103 + "longer", "t/" + f110 + "1/x", "t/" + f110 + "2/x",
        "t/" + n103 + "1.txt", "t/" + n103 + "2.txt", "t/" + std::string(97, 'n') + "~2.txt"})
    Sparse(dir / name, 1000);
  Sparse(dir / "big/v.mkv", (std::uintmax_t{4} << 30) - 1);
  // Each run's one disc with the command printed for it (the last printed: a large file's own).
  const auto master = [&](const std::vector<std::string>& paths, const std::string& fs, bool xorriso) {
    fs::remove_all(dir / "lists");
    std::vector<std::string> args{"-c", "dvd", "--fs", fs, "--path-lists", "lists"};
    args.insert(args.end(), paths.begin(), paths.end());
    const ToolRun r = Fit(args, dir.path());
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::size_t start = r.err.find(" with ", r.err.rfind("master disc")) + 6;
    const std::size_t end = r.err.find("discN.list", start) + 10;
    std::string command = r.err.substr(start, end - start);
    command.replace(command.find("discN.list"), 10, "disc1.list");
    if (xorriso) command = "xorriso -as mkisofs" + command.substr(command.find(' '));
    const long long sectors = Sectors("cd '" + dir.path() + "' && LC_ALL=C.UTF-8 " + command);
    EXPECT_GT(sectors, 0) << command << "\n" << r.err;
    EXPECT_LE(sectors, 2'295'104) << command;
    return command;
  };
  for (const bool xorriso : {false, true}) {
    const std::string command = master({"t"}, "iso", xorriso);
    ASSERT_EQ(
        std::system(
            ("cd '" + dir.path() + "' && LC_ALL=C.UTF-8 " + command + " -quiet -o t.iso >/dev/null 2>&1").c_str()),
        0);
    std::FILE* p = popen(("isoinfo -J -f -i '" + dir / "t.iso" + "'").c_str(), "r");
    std::vector<std::string> names;
    char line[4096];
    while (p && std::fgets(line, sizeof line, p)) names.push_back(line);
    if (p) pclose(p);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << command;
    EXPECT_GE(names.size(), 16u) << command;
  }
  EXPECT_EQ(master({"big"}, "iso", false).rfind("xorriso -as mkisofs ", 0), 0u);
  EXPECT_NE(master({"big"}, "udf", false).find("-udf -allow-limited-size"), std::string::npos);
}

// --keep-empty-dirs keeps folders with nothing in them, counted on their disc, in the lists (as
// genisoimage masters them) and in the folders of links.
TEST(Accounting, EmptyFoldersKeptWhenAsked) {
  TempDir dir;
  Sparse(dir / "p/a.jpg", 1000);
  fs::create_directories(dir / "p/empty/deeper");
  fs::create_directories(dir / "p/none");
  ToolRun r = Fit({"-c", "cd700", "--json", "-q", "p"}, dir.path());
  EXPECT_EQ(OnDisc(ParseJson(r.out)).size(), 1u);
  r = Fit({"-c", "cd700", "--json", "-q", "--keep-empty-dirs", "--path-lists", "L", "--link-into", "out", "p"},
          dir.path());
  ASSERT_EQ(r.exit, 0) << r.err;
  const std::vector<std::string> names = OnDisc(ParseJson(r.out));
  EXPECT_TRUE(Holds(names, "p/empty/deeper") && Holds(names, "p/none") && !Holds(names, "p/empty")) << r.out;
  EXPECT_TRUE(fs::is_directory(dir / "out/disc1/p/empty/deeper") && fs::is_directory(dir / "out/disc1/p/none"));
  ASSERT_EQ(std::system(("cd '" + dir.path() +
                         "' && genisoimage -quiet -R -graft-points -path-list L/disc1.list "
                         "-o i.iso 2>/dev/null && isoinfo -R -f -i i.iso > paths.txt")
                            .c_str()),
            0);
  EXPECT_NE(ReadFileBytes(dir / "paths.txt").find("/p/empty/deeper\n"), std::string::npos);
}
