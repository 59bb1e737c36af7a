#include "files/path_walk.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "files/drop_intake.h"
#include "files/file_sets.h"
#include "tests/temp_dir.h"

namespace {

std::vector<std::string> Walk(const std::vector<std::string>& paths, FolderPaths* known,
                              std::vector<std::string>* skipped = nullptr) {
  std::vector<std::string> found;
  PathWalker walker([&](FileEntry e) { found.push_back(e.path); },
                    [&](const std::string& p) {
                      if (skipped) skipped->push_back(p);
                    },
                    known);
  for (const auto& p : paths) walker.AddPath(p);
  std::sort(found.begin(), found.end());
  return found;
}

void Touch(const std::string& path, std::uintmax_t size = 1) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileBytes(path, std::string(size, 'x'));
}

}  // namespace

TEST(PathWalker, SkipsDotNamesAndWalksEachFolderOnce) {
  TempDir dir;
  const std::string top = dir / "top";
  Touch(top + "/a.txt");
  Touch(top + "/.profile");
  Touch(top + "/.cache/x");
  Touch(top + "/sub/b.txt");
  std::filesystem::create_directory(top + "/empty");
  std::filesystem::create_directory_symlink("..", top + "/sub/loop");
  std::filesystem::create_directory_symlink("sub", top + "/again");
  std::filesystem::create_symlink("nowhere", top + "/broken");

  std::vector<std::string> skipped;
  const std::vector<std::string> found = Walk({top, top + "/sub", top + "/a.txt", dir / "missing"}, nullptr, &skipped);
  // b.txt once, through whichever of sub/ and again/ came first; a.txt once more as dropped itself.
  ASSERT_EQ(found.size(), 3u) << ::testing::PrintToString(found);
  EXPECT_EQ(found[0], top + "/a.txt");
  EXPECT_EQ(found[1], top + "/a.txt");
  EXPECT_TRUE(found[2] == top + "/sub/b.txt" || found[2] == top + "/again/b.txt");
  EXPECT_EQ(skipped, (std::vector<std::string>{top + "/broken", dir / "missing"}));
}

TEST(PathWalker, ALaterWalkThroughALinkUsesTheFirstPath) {
  TempDir dir;
  Touch(dir / "real/song.mp3");
  std::filesystem::create_directory_symlink(dir / "real", dir / "link");
  FolderPaths known;
  EXPECT_EQ(Walk({dir / "real"}, &known), (std::vector<std::string>{dir / "real/song.mp3"}));
  EXPECT_EQ(Walk({dir / "link"}, &known), (std::vector<std::string>{dir / "real/song.mp3"}));
  EXPECT_EQ(Walk({dir / "link/song.mp3"}, &known), (std::vector<std::string>{dir / "real/song.mp3"}));
  // Once the first path no longer leads there, the new one takes over.
  std::filesystem::rename(dir / "real", dir / "moved");
  std::filesystem::remove(dir / "link");
  std::filesystem::create_directory_symlink(dir / "moved", dir / "link");
  EXPECT_EQ(Walk({dir / "link"}, &known), (std::vector<std::string>{dir / "link/song.mp3"}));
  // Without FolderPaths each walk names files by the path it was given.
  EXPECT_EQ(Walk({dir / "moved"}, nullptr), (std::vector<std::string>{dir / "moved/song.mp3"}));
}

TEST(PathWalker, AFileDroppedAfterLargeFolderDropsIdentifiesOnlyItsOwnFolder) {
  TempDir dir;
  for (int i = 0; i < 50; ++i) Touch(dir / ("tree/f" + std::to_string(i) + "/x.txt"));
  Touch(dir / "elsewhere/one.txt");
  FolderPaths known;
  Walk({dir / "tree"}, &known);
  EXPECT_EQ(known.Identified(), 0u);
  // A file of a folder walked before names it by the same path, with no look at the disk...
  EXPECT_EQ(Walk({dir / "tree/f7/x.txt"}, &known), (std::vector<std::string>{dir / "tree/f7/x.txt"}));
  EXPECT_EQ(known.Identified(), 0u);
  // ...and one from another folder costs that folder alone, not the 51 walked before.
  EXPECT_EQ(Walk({dir / "elsewhere/one.txt"}, &known), (std::vector<std::string>{dir / "elsewhere/one.txt"}));
  EXPECT_EQ(known.Identified(), 1u);
}

TEST(PathWalker, ManyPathsOfOneFolderAreReadFromOneListing) {
  // Files picked one by one from a folder, with the folder's own oddities among them: a dot name
  // (taken when dropped by itself), a subfolder, and a name that is not there.
  TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) {
    paths.push_back(dir / ("many/f" + std::to_string(i)));
    Touch(paths.back(), static_cast<std::uintmax_t>(i));
  }
  Touch(dir / "many/.hidden", 3);
  Touch(dir / "many/sub/inside", 4);
  for (const char* extra : {"many/.hidden", "many/sub", "many/missing"}) paths.push_back(dir / extra);
  std::vector<std::string> one, each, skipped;
  PathWalker bulk([&](FileEntry e) { one.push_back(e.path + " " + std::to_string(e.size)); },
                  [&](const std::string& p) { skipped.push_back(p); });
  bulk.AddPaths(paths);
  PathWalker single([&](FileEntry e) { each.push_back(e.path + " " + std::to_string(e.size)); });
  for (const std::string& p : paths) single.AddPath(p);
  EXPECT_EQ(one, each);
  EXPECT_EQ(one.size(), 42u);
  EXPECT_EQ(skipped, (std::vector<std::string>{dir / "many/missing"}));
}

TEST(DropIntake, OneEntryPerPathInStandardOrderWithoutResults) {
  FileSet source, result;
  result.Add(MakeFileEntry("C:\\chosen", 7));
  {
    DropIntake intake(source, result);
    intake.Add(MakeFileEntry("C:\\b", 5));
    intake.Add(MakeFileEntry("C:\\a", 5));
    intake.Add(MakeFileEntry("C:\\chosen", 7));
    intake.Add(MakeFileEntry("C:\\big", 9));
    intake.Add(MakeFileEntry("C:\\b", 5));
    intake.Finish();
  }
  std::vector<std::string> order;
  for (source.ResetCursor(true); const FileEntry* e = source.GetCurrent(); source.MoveNext()) order.push_back(e->path);
  EXPECT_EQ(order, (std::vector<std::string>{"C:\\big", "C:\\a", "C:\\b"}));
  {
    // A second drop: a file seen again takes its new size and its new place.
    DropIntake intake(source, result);
    intake.Add(MakeFileEntry("C:\\a", 100));
    intake.Finish();
  }
  order.clear();
  for (source.ResetCursor(true); const FileEntry* e = source.GetCurrent(); source.MoveNext())
    order.push_back(e->path + ":" + std::to_string(e->size));
  EXPECT_EQ(order, (std::vector<std::string>{"C:\\a:100", "C:\\big:9", "C:\\b:5"}));
}
