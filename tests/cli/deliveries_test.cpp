// zumibo-fit's deliveries, run as a separate process on real files: path lists, and folders of
// hard links or copies, checked whole before anything is written and put in place whole.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "tests/cli/tool_run.h"
#include "tests/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Every path below `folder`, folders ending in '/', one a line in order; "" when there is none.
std::string Tree(const std::string& folder) {
  std::set<std::string> paths;
  std::error_code error;
  for (fs::recursive_directory_iterator i(folder, error), end; !error && i != end; i.increment(error))
    paths.insert(fs::relative(i->path(), folder).string() + (i->is_directory() && !i->is_symlink() ? "/" : ""));
  std::string text;
  for (const std::string& p : paths) text += p + "\n";
  return text;
}

// A folder no one may write in: read-only, and for root immutable where the file system allows.
// False when it cannot be made so.
bool ReadOnly(const std::string& folder, bool on) {
  chmod(folder.c_str(), on ? 0555 : 0755);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  if (fd >= 0) close(fd);
  return access(folder.c_str(), W_OK) != 0;
}

// The Rock Ridge paths of an image, in order.
std::set<std::string> ImagePaths(const std::string& image) {
  std::FILE* p = popen(("isoinfo -R -f -i '" + image + "'").c_str(), "r");
  std::string text;
  char buffer[4096];
  for (std::size_t n; p && (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
  if (p) pclose(p);
  std::set<std::string> paths;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    paths.insert(text.substr(start, end - start));
  return paths;
}

}  // namespace

TEST(Deliveries, TheWholeTargetIsCheckedBeforeAnythingIsWritten) {
  TempDir dir;
  for (const char* name : {"a/f1", "a/f2", "a/f3"}) Sparse(dir / name, 1000);
  fs::create_directories(dir / "out/disc1/a");
  WriteFileBytes(dir / "out/disc1/a/f2", "mine");
  ToolRun r = Fit({"-c", "100000", "--raw", "-q", "--link-into", "out", "a"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("nothing written: out/disc1 was not made by zumibo-fit"), std::string::npos) << r.err;
  EXPECT_EQ(Tree(dir / "out"), "disc1/\ndisc1/a/\ndisc1/a/f2\n");
  EXPECT_EQ(ReadFileBytes(dir / "out/disc1/a/f2"), "mine");

  // A folder that cannot be written is refused at once, and the lists that could be are not written.
  fs::create_directory(dir / "ro");
  if (ReadOnly(dir / "ro", true)) {
    r = Fit({"-c", "100000", "--raw", "-q", "--link-into", "ro/out", "--path-lists", "lists", "a"}, dir.path());
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err.find("zumibo-fit:"), r.err.rfind("zumibo-fit:")) << r.err;
    EXPECT_NE(r.err.find("nothing written: cannot make ro/out in ro"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "lists"));
  }
  ReadOnly(dir / "ro", false);
}

TEST(Deliveries, AnEarlierPlanIsReplacedOnlyWhenAskedAndOnlyWhatItMade) {
  TempDir dir;
  for (int size : {600, 500, 400, 300, 200}) Sparse(dir / ("a/f" + std::to_string(size)), size);
  const auto run = [&](const char* capacity, bool replace) {
    std::vector<std::string> args{"-c",          capacity, "--raw",        "--all", "-q",
                                  "--link-into", "out",    "--path-lists", "lists"};
    if (replace) args.push_back("--replace");
    args.push_back("a");
    return Fit(args, dir.path());
  };
  ASSERT_EQ(run("700", false).exit, 0);
  WriteFileBytes(dir / "out/notes.txt", "mine");
  const std::string three = Tree(dir / "out");
  EXPECT_NE(three.find("disc3/a/"), std::string::npos) << three;

  // A second plan of two discs would mix with the first: refused unless asked to replace it.
  ToolRun r = run("1000", false);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("lists holds an earlier plan (disc1.list, disc2.list, disc3.list)"), std::string::npos) << r.err;
  EXPECT_EQ(Tree(dir / "out"), three);
  ASSERT_EQ(run("1000", true).exit, 0);
  const std::string two = Tree(dir / "out");
  EXPECT_EQ(two.find("disc3"), std::string::npos) << two;
  EXPECT_NE(two.find("notes.txt"), std::string::npos) << two;
  int placed = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir / "out"))
    placed += e.is_regular_file() && e.path().parent_path().filename() == "a";
  EXPECT_EQ(placed, 5);
  EXPECT_EQ(Tree(dir / "lists"), ".zumibo-fit-manifest\ndisc1.list\ndisc2.list\n");

  // What the tool did not make is never removed: a file added to a disc folder keeps the plan,
  // and a list it has no record of is refused.
  WriteFileBytes(dir / "out/disc1/extra", "mine");
  r = run("700", true);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("out/disc1/extra is not what zumibo-fit made"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(dir / "out/disc1/extra"), "mine");
  fs::remove(dir / "out/disc1/extra");
  WriteFileBytes(dir / "lists/disc7.list", "");
  r = run("700", true);
  EXPECT_NE(r.err.find("lists/disc7.list was not made by zumibo-fit"), std::string::npos) << r.err;
  EXPECT_EQ(Tree(dir / "out"), two);
}

TEST(Deliveries, AnInterruptedCopyLeavesNothingUnderItsName) {
  TempDir dir;
  Sparse(dir / "v/big.bin", std::uintmax_t{1} << 30);  // copied as data: seconds of work
  const std::vector<std::string> args{"-c", "2G", "-q", "--link-into", "out", "--copy", "v"};
  ToolRun r = Fit(args, dir.path(), "", 200, SIGTERM);
  EXPECT_EQ(r.exit, 128 + SIGTERM);
  EXPECT_NE(r.err.find("interrupted while delivering: nothing written"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "out"));
  // Killed, it leaves the partial copy in a hidden staging folder, which the next run removes.
  r = Fit(args, dir.path(), "", 200, SIGKILL);
  EXPECT_EQ(r.exit, 128 + SIGKILL);
  EXPECT_FALSE(fs::exists(dir / "out/disc1"));
  Sparse(dir / "w/small", 10);
  r = Fit({"-c", "2G", "-q", "--link-into", "out", "--copy", "w"}, dir.path());
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Tree(dir / "out"), ".zumibo-fit-manifest\ndisc1/\ndisc1/w/\ndisc1/w/small\n");
}

TEST(Deliveries, NothingIsWrittenOrRemovedThroughALinkInTheTarget) {
  TempDir dir;
  Sparse(dir / "photos/a.jpg", 100);
  fs::create_directories(dir / "out/disc1");
  fs::create_directory(dir / "elsewhere");
  WriteFileBytes(dir / "elsewhere/keep", "keep");
  fs::create_directory_symlink(dir / "elsewhere", dir / "out/disc1/photos");
  for (const char* mode : {"--link-into", "--copy"}) {
    std::vector<std::string> args{"-c", "100000", "--raw", "-q", "--link-into", "out", "photos"};
    if (std::string(mode) == "--copy") args.insert(args.begin(), mode);
    EXPECT_EQ(Fit(args, dir.path()).exit, 1) << mode;
    EXPECT_EQ(Tree(dir / "elsewhere"), "keep\n") << mode;
  }
  // An earlier plan whose folder was swapped for a link: --replace neither follows it nor removes
  // what it leads to.
  fs::remove_all(dir / "out");
  ASSERT_EQ(Fit({"-c", "100000", "--raw", "-q", "--link-into", "out", "photos"}, dir.path()).exit, 0);
  fs::rename(dir / "out/disc1/photos", dir / "moved");
  fs::create_directory_symlink(dir / "elsewhere", dir / "out/disc1/photos");
  WriteFileBytes(dir / "elsewhere/a.jpg", "theirs");
  const ToolRun r = Fit({"-c", "100000", "--raw", "-q", "--link-into", "out", "--replace", "photos"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("out/disc1/photos is not what zumibo-fit made"), std::string::npos) << r.err;
  EXPECT_EQ(Tree(dir / "elsewhere"), "a.jpg\nkeep\n");
  EXPECT_EQ(ReadFileBytes(dir / "elsewhere/a.jpg"), "theirs");
}

// Names that the two tools could read apart, mastered by each from another folder than the
// tool's: both images hold the same names, which are the files' own.
TEST(Deliveries, PathListsReadAlikeByGenisoimageAndXorrisoFromAnyFolder) {
  TempDir dir;
  const std::vector<std::string> names{"e=q",    "=e",      "back\\slash", "\\=",   "tab\there", " lead",
                                       "trail ", "cr\rmid", "#hash",       "-dash", "star*"};
  std::set<std::string> expected{"/src"};
  for (const std::string& n : names) {
    Sparse(dir / ("src/" + n), 10);
    expected.insert("/src/" + n);
  }
  Sparse(dir / "src/ends\\", 10);  // genisoimage would take "\\=" for an escaped '=': left out
  const ToolRun r = Fit({"-c", "100000", "--raw", "-q", "--path-lists", "lists", "src"}, dir.path());
  EXPECT_NE(r.exit, 0);
  const std::string list = ReadFileBytes(dir / "lists/disc1.list");
  EXPECT_EQ(list.find("ends"), std::string::npos) << list;
  EXPECT_NE(list.find("src/e\\=q=" + dir.path() + "/src/e\\=q\n"), std::string::npos) << list;
  for (const std::string tool : {"genisoimage -quiet", "xorriso -as mkisofs"}) {
    const std::string image = dir / "disc1.iso";
    const std::string command = "cd / && " + tool + " -D -J -R -graft-points -path-list '" + dir.path() +
                                "/lists/disc1.list' -o '" + image + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << tool;
    EXPECT_TRUE(ImagePaths(image) == expected) << tool;
    fs::remove(image);
  }
}

TEST(Deliveries, CopiesKeepTimesModeAndOwner) {
  TempDir dir;
  fs::create_directory(dir / "p");
  WriteFileBytes(dir / "p/a.txt", "data");
  const std::string source = dir / "p/a.txt";
  chmod(source.c_str(), 0640);
  const struct timespec times[2] = {{1'000'000'000, 5}, {1'000'000'000, 123'456'789}};
  utimensat(AT_FDCWD, source.c_str(), times, 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(source.c_str(), 1234, 5678), 0);
  }
  ASSERT_EQ(Fit({"-c", "100000", "--raw", "-q", "--link-into", "out", "--copy", "p"}, dir.path()).exit, 0);
  struct stat st;
  ASSERT_EQ(stat((dir / "out/disc1/p/a.txt").c_str(), &st), 0);
  EXPECT_EQ(ReadFileBytes(dir / "out/disc1/p/a.txt"), "data");
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1'000'000'000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'789);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
  }
}

// A file with two names and a symbolic link to a file, as a list (or -L) gives them: every name is
// placed, the names of one file stay one file (the disc stores its data once), and the staged
// tree and the path list hold the file a link leads to, never the link.
TEST(Deliveries, EveryNameOfAFileAndNoSymbolicLinkInTheStagedTree) {
  TempDir dir;
  fs::create_directory(dir / "m");
  fs::create_directory(dir / "real");
  WriteFileBytes(dir / "m/one", "one");
  fs::create_hard_link(dir / "m/one", dir / "m/two");
  WriteFileBytes(dir / "real/f", "target");
  fs::create_symlink("../real/f", dir / "m/link");
  const std::string list = "3\tm/one\n3\tm/two\n6\tm/link\n";
  for (const char* copy : {"", "--copy"}) {
    std::vector<std::string> args{"-c", "100000", "--raw", "-q", "--list", "-", "--link-into", "out", "--replace"};
    if (*copy) args.push_back(copy);
    ASSERT_EQ(Fit(args, dir.path(), list).exit, 0) << copy;
    struct stat one, two;
    ASSERT_EQ(stat((dir / "out/disc1/m/one").c_str(), &one), 0);
    ASSERT_EQ(stat((dir / "out/disc1/m/two").c_str(), &two), 0);
    EXPECT_EQ(one.st_ino, two.st_ino) << copy;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "out/disc1/m/link"))) << copy;
    EXPECT_EQ(ReadFileBytes(dir / "out/disc1/m/link"), "target") << copy;
  }
  ASSERT_EQ(Fit({"-c", "100000", "--raw", "-q", "--list", "-", "--path-lists", "lists"}, dir.path(), list).exit, 0);
  EXPECT_NE(ReadFileBytes(dir / "lists/disc1.list").find("m/link=" + fs::canonical(dir / "real/f").string() + "\n"),
            std::string::npos);
}

namespace {

// The journal a run keeps in its staging folder while it commits, as a run killed there leaves it.
void Journal(const std::string& staging, const char* state, const std::vector<std::string>& old,
             const std::vector<std::string>& placed) {
  std::string text = std::string("zumibo-fit commit 1\n") + state + "\n";
  for (const std::string& n : old) text += "o" + n + '\0';
  for (const std::string& n : placed) text += "n" + n + '\0';
  WriteFileBytes(staging + "/commit", text);
}

int RegularFiles(const std::string& folder) {
  int n = 0;
  for (const auto& e : fs::recursive_directory_iterator(folder)) n += e.is_regular_file() && e.path().filename().string()[0] != '.';
  return n;
}

// zumibo-fit run by a shell, for what a shell sets up around it (limits, redirections); its
// exit status, and its standard error in `err`.
int Shell(const std::string& dir, const std::string& setup, const std::string& args, std::string& err) {
  const std::string command = "cd '" + dir + "' && " + setup + "; " + ZUMIBO_FIT_PATH + " " + args + " 2>err.txt";
  const int status = std::system(("sh -c \"" + command + "\"").c_str());
  err = ReadFileBytes(dir + "/err.txt");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

// --replace removes only what the tool made, as it made it: never the files it is asked to list,
// never a user's file at one of its names, never what was written into the plan since; a run
// killed in its commit is undone or finished by the next run, and nothing is lost either way.
TEST(Deliveries, ReplaceRemovesOnlyWhatItMadeAsItMadeIt) {
  TempDir dir;
  for (int i = 0; i < 6; ++i) Sparse(dir / ("photos/p" + std::to_string(i)), 400'000);
  ASSERT_EQ(Fit({"-c", "1M", "--raw", "--all", "-q", "--copy", "--link-into", "out", "photos"}, dir.path()).exit, 0);
  fs::remove_all(dir / "photos");
  ToolRun r = Fit({"-c", "2M", "--raw", "--all", "-q", "--path-lists", "out", "--replace", "out/disc1", "out/disc2",
                   "out/disc3"},
                  dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("which --replace would remove"), std::string::npos) << r.err;
  EXPECT_EQ(RegularFiles(dir / "out"), 6);

  const std::string mine = (fs::directory_iterator(dir / "out/disc1/photos"))->path();
  fs::remove(mine);
  WriteFileBytes(mine, "mine");
  Sparse(dir / "src/a", 10);
  r = Fit({"-c", "1M", "--raw", "-q", "--link-into", "out", "--replace", "src"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("is not what zumibo-fit made there"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(mine), "mine");

  // Killed while the new plan was being put in place: the earlier one is put back.
  fs::remove_all(dir / "out");
  ASSERT_EQ(Fit({"-c", "1M", "--raw", "-q", "--link-into", "out", "src"}, dir.path()).exit, 0);
  const std::string before = Tree(dir / "out");
  const std::string staging = dir / "out/.zumibo-fit-staging-1";
  fs::create_directories(staging + "/new");
  fs::create_directories(staging + "/old");
  fs::rename(dir / "out/disc1", staging + "/old/disc1");
  fs::rename(dir / "out/.zumibo-fit-manifest", staging + "/old/.zumibo-fit-manifest");
  fs::create_directory(dir / "out/disc2");
  WriteFileBytes(dir / "out/.zumibo-fit-manifest", "zumibo-fit manifest 2\n");
  Journal(staging, "placing", {"disc1", ".zumibo-fit-manifest"}, {"disc2", ".zumibo-fit-manifest"});
  r = Fit({"-c", "1M", "--raw", "-q", "--link-into", "out", "src"}, dir.path());
  EXPECT_NE(r.err.find("put back the plan that an interrupted run was replacing"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("holds an earlier plan"), std::string::npos) << r.err;
  EXPECT_EQ(Tree(dir / "out"), before);

  // Killed after the new plan was in place, with a file written into the earlier one since: the
  // earlier plan goes, but for that file.
  fs::create_directories(staging + "/old");
  fs::rename(dir / "out/disc1", staging + "/old/disc1");
  fs::rename(dir / "out/.zumibo-fit-manifest", staging + "/old/.zumibo-fit-manifest");
  WriteFileBytes(staging + "/old/disc1/src/extra", "mine");
  WriteFileBytes(dir / "out/.zumibo-fit-manifest", "zumibo-fit manifest 2\n");
  Journal(staging, "committed", {"disc1", ".zumibo-fit-manifest"}, {".zumibo-fit-manifest"});
  r = Fit({"-c", "1M", "--raw", "-q", "--link-into", "out", "src"}, dir.path());
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("finished replacing the plan"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(dir / "out/zumibo-fit-kept-1/disc1/src/extra"), "mine");
  EXPECT_TRUE(fs::exists(dir / "src/a"));
}

// A source that changes between planning and placing is refused, and the run leaves the target
// as it was (not even made): one that grew, one swapped for a pipe, one for a link to a device.
TEST(Deliveries, ASourceChangedSincePlanningIsNotPlaced) {
  TempDir dir;
  Sparse(dir / "v/a-big", std::uintmax_t{1} << 30);  // copied first, while the others change
  const std::vector<std::function<void()>> changes = {
      [&] { WriteFileBytes(dir / "v/b", std::string(3'000'000, 'x')); },
      [&] {
        fs::remove(dir / "v/b");
        mkfifo((dir / "v/b").c_str(), 0644);
      },
      [&] {
        fs::remove(dir / "v/b");
        fs::create_symlink("/dev/zero", dir / "v/b");
      }};
  for (std::size_t i = 0; i < changes.size(); ++i) {
    fs::remove(dir / "v/b");
    WriteFileBytes(dir / "v/b", "1234");
    const ToolRun r =
        Fit({"-c", "2G", "-q", "--copy", "--link-into", "out", "v"}, dir.path(), "", 150, SIGINT, false, changes[i]);
    EXPECT_EQ(r.exit, 1) << i << r.err;
    EXPECT_NE(r.err.find("nothing written"), std::string::npos) << i << r.err;
    EXPECT_FALSE(fs::exists(dir / "out")) << i;
  }
}

// The exit status says what happened: a full standard output is a failure; a file size limit is a
// failed write, not a silent death; a plan in place is the result whenever a signal comes after.
TEST(Deliveries, ExitStatusesSayWhatHappened) {
  TempDir dir;
  Sparse(dir / "d/f", 2'000'000);
  std::string err;
  EXPECT_EQ(Shell(dir.path(), "true", "-c 3M -q d >/dev/full", err), 1);
  EXPECT_NE(err.find("write error"), std::string::npos) << err;
  EXPECT_EQ(Shell(dir.path(), "ulimit -f 100", "-c 3M -q --copy --link-into out d", err), 1) << err;
  EXPECT_NE(err.find("nothing written"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir / "out"));

  for (int i = 0; i < 3000; ++i) Sparse(dir / ("m/f" + std::to_string(i)), 1);
  ASSERT_EQ(Fit({"-c", "1G", "--raw", "-q", "--link-into", "out", "m"}, dir.path()).exit, 0);
  for (int delay : {5, 30, 60, 90, 120, 150}) {
    const ToolRun r =
        Fit({"-c", "1G", "--raw", "-q", "--all", "--link-into", "out", "--replace", "m"}, dir.path(), "", delay, SIGTERM);
    const bool placed = r.exit == 0;
    EXPECT_TRUE(placed || r.exit == 128 + SIGTERM) << delay << ": " << r.exit << r.err;
    EXPECT_EQ(placed, r.err.find("interrupted") == std::string::npos) << delay << r.err;
    EXPECT_EQ(RegularFiles(dir / "out"), 3000) << delay;
  }
}

// The folder written into is checked before anything is collected, only the folder itself is
// made, and a tree deeper than the descriptors a process may open is placed all the same.
TEST(Deliveries, TargetsCheckedFirstAndDeepTreesPlaced) {
  TempDir dir;
  WriteFileBytes(dir / "file", "");
  std::string deep = "deep";
  for (int i = 0; i < 40; ++i) deep += "/d";
  Sparse(dir / (deep + "/leaf"), 1);
  ToolRun r = Fit({"-c", "1M", "-q", "--link-into", "file", "nowhere"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("file is not a folder"), std::string::npos) << r.err;
  r = Fit({"-c", "1M", "-q", "--link-into", "no/such/dir", "deep"}, dir.path());
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("no/such is not a folder that exists"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "no"));
  std::string err;
  EXPECT_EQ(Shell(dir.path(), "ulimit -n 30", "-c 1M -q --link-into out deep", err), 0) << err;
  EXPECT_TRUE(fs::exists(dir / ("out/disc1/" + deep + "/leaf")));
  EXPECT_EQ(Shell(dir.path(), "ulimit -n 30", "-c 1M -q --link-into out --replace deep", err), 0) << err;
}
