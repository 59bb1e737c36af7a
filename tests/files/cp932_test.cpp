#include "files/cp932.h"

#include <gtest/gtest.h>

#include "files/file_entry.h"

TEST(Cp932, SeparatorIsNeverTheTrailByteOfADoubleByteCharacter) {
  // ソ is 83 5C and 表 is 95 5C in code page 932: their second byte looks like a backslash.
  EXPECT_EQ(std::string("ソ"), std::string("\x83\x5C"));
  EXPECT_EQ(std::string("表"), std::string("\x95\x5C"));

  EXPECT_EQ(FindLastSeparator("C:\\ソ"), 2);
  EXPECT_EQ(FindLastSeparator("C:\\表\\a.txt"), 5);
  EXPECT_EQ(FindLastSeparator("C:\\dir\\ソ.txt"), 6);
  // ＝ is 81 81: a trail byte that is also a lead byte must not swallow the real separator after it.
  EXPECT_EQ(FindLastSeparator("C:\\＝\\a.txt"), 5);
  EXPECT_EQ(FindLastSeparator("name"), -1);
  EXPECT_EQ(FindLastSeparator(""), -1);
  EXPECT_EQ(FindLastSeparator("\\"), 0);
  // A lead byte at the very end, or before a byte that cannot close it, stands alone.
  EXPECT_EQ(FindLastSeparator("a\\\x83"), 1);
  EXPECT_EQ(FindLastSeparator("\x83 \\b"), 2);
}

TEST(Cp932, EndsWithSeparatorAndFolderOf) {
  EXPECT_TRUE(EndsWithSeparator("D:\\"));
  EXPECT_TRUE(EndsWithSeparator("C:\\表\\"));
  EXPECT_FALSE(EndsWithSeparator("C:\\表"));
  EXPECT_FALSE(EndsWithSeparator("C:\\ソ"));
  EXPECT_FALSE(EndsWithSeparator(""));

  EXPECT_EQ(FolderOf("C:\\表\\a.txt"), "C:\\表\\");
  EXPECT_EQ(FolderOf("C:\\ソ"), "C:\\");
  EXPECT_EQ(FolderOf("plain"), "");
}

TEST(FileEntry, SplitsWindowsAndPosixPaths) {
  const FileEntry e = MakeFileEntry("C:\\音楽\\表\\ソ.mp3", 42);
  EXPECT_EQ(e.folder, "C:\\音楽\\表\\");
  EXPECT_EQ(e.name, "ソ.mp3");
  EXPECT_EQ(e.path, e.folder + e.name);
  EXPECT_EQ(e.size, 42);

  const FileEntry root = MakeFileEntry("D:\\a.iso", 1);
  EXPECT_EQ(root.folder, "D:\\");
  EXPECT_EQ(root.name, "a.iso");

  const FileEntry bare = MakeFileEntry("a.iso", 1);
  EXPECT_EQ(bare.folder, "");
  EXPECT_EQ(bare.name, "a.iso");

  const FileEntry posix = MakePosixFileEntry("/home/u/写真/a.jpg", 7);
  EXPECT_EQ(posix.folder, "/home/u/写真/");
  EXPECT_EQ(posix.name, "a.jpg");
  EXPECT_EQ(posix.path, "/home/u/写真/a.jpg");
}
