#include "handoff/drop_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/file_set.h"

namespace {

std::string Block(FileSet& set) {
  std::string bytes(DropBlockSize(set), '\x7F');  // every byte must be written
  WriteDropBlock(set, reinterpret_cast<unsigned char*>(bytes.data()));
  return bytes;
}

const std::string kHeader("\x14\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20);  // pFiles 20, pt 0 0, fNC 0, fWide 0

}  // namespace

TEST(DropBlock, HeaderPathsAndDoubleZeroEnd) {
  FileSet set;
  set.Add(MakeFileEntry("C:\\a\\12345", 1));                 // 10 bytes
  set.Add(MakeFileEntry("C:\\dir\\file-0000000000.x", 2));   // 24 bytes
  set.Add(MakeFileEntry("C:\\" + std::string(27, 'z'), 3));  // 30 bytes
  const std::string block = Block(set);
  EXPECT_EQ(block.size(), 20u + 11 + 25 + 31 + 1);
  EXPECT_EQ(block, kHeader + "C:\\a\\12345" + std::string(1, '\0') + "C:\\dir\\file-0000000000.x" +
                       std::string(1, '\0') + "C:\\" + std::string(27, 'z') + std::string(2, '\0'));

  // Paths of 10, 20 and 30 bytes make a block of 84 bytes.
  FileSet example;
  example.Add(MakeFileEntry(std::string(10, 'a'), 1));
  example.Add(MakeFileEntry(std::string(20, 'b'), 1));
  example.Add(MakeFileEntry(std::string(30, 'c'), 1));
  EXPECT_EQ(Block(example).size(), 84u);
}

TEST(DropBlock, DoubleByteCharactersPassAsStoredAndAnEmptySetIsJustTheEnd) {
  FileSet set;
  set.Add(MakeFileEntry("C:\\表\\ソ.mp3", 1));
  const std::string block = Block(set);
  EXPECT_EQ(block, kHeader + "C:\\\x95\x5C\\\x83\x5C.mp3" + std::string(2, '\0'));
  EXPECT_EQ(block[16], 0);  // fWide 0: narrow code page 932 bytes

  FileSet empty;
  EXPECT_EQ(Block(empty), kHeader + std::string(1, '\0'));
}
