// Checks that the Windows side runs where we think it does: code page 932, CP932 file names,
// and the settings file on real Windows file semantics.
#include <windows.h>

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

#include "app/settings.h"
#include "files/cp932.h"
#include "files/file_entry.h"
#include "tests/win/win_temp_dir.h"

TEST(Platform, RunsInCodePage932) {
  std::printf("GetACP() = %u\n", GetACP());
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x83));
  EXPECT_FALSE(IsDBCSLeadByteEx(932, 0x5C));
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(cp932::IsLeadByte(static_cast<unsigned char>(b)), IsDBCSLeadByteEx(932, static_cast<BYTE>(b)) != FALSE)
        << b;
  }
}

TEST(Platform, FindsAndSplitsACp932FileName) {
  WinTempDir dir;
  const std::string folder = dir.path() + "\\表";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string path = folder + "\\データソ";
  WriteWinFile(path, "12345");

  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(path.c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FindClose(h);
  EXPECT_STREQ(found.cFileName, "データソ");
  EXPECT_EQ(found.nFileSizeLow, 5u);

  const FileEntry e = MakeFileEntry(path, found.nFileSizeLow);
  std::printf("created %s: folder \"%s\", name \"%s\"\n", path.c_str(), e.folder.c_str(), e.name.c_str());
  EXPECT_EQ(e.folder, folder + "\\");
  EXPECT_EQ(e.name, "データソ");
}

TEST(Platform, SettingsFileReplacesAnExistingFile) {
  WinTempDir dir;
  const std::string path = dir.path() + "\\ソ\\medias.ini";
  ASSERT_TRUE(CreateDirectoryA((dir.path() + "\\ソ").c_str(), nullptr));
  std::string first[kSettingCount] = {"1", "2", "3", "4", "前回"};
  std::string second[kSettingCount] = {"9", "", "", "", "次"};
  ASSERT_TRUE(SaveSettings(path, first));
  ASSERT_TRUE(SaveSettings(path, second));  // MoveFileEx over the existing file
  EXPECT_EQ(ReadWinFile(path), FormatSettings(second));
  std::string back[kSettingCount];
  LoadSettings(path, back);
  EXPECT_EQ(back[0], "9");
  EXPECT_EQ(back[4], "次");

  // A folder standing where the file should go cannot be replaced: the temporary file goes again.
  const std::string blocked = dir.path() + "\\blocked.ini";
  ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
  EXPECT_FALSE(SaveSettings(blocked, first));
  EXPECT_EQ(GetFileAttributesA((blocked + "." + std::to_string(GetCurrentProcessId()) + ".tmp").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST(Platform, SettingsAreWrittenInPlaceWhereTheFileCannotBeReplaced) {
  WinTempDir dir;
  const std::string path = dir.path() + "\\medias.ini";
  WriteWinFile(path, "old\r\n");
  std::string settings[kSettingCount] = {"1", "2", "3", "4", "前回"};
  // Another program holds the file open for writing, without delete sharing: it cannot be
  // replaced, but it can be written.
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SaveSettings(path, settings));
  CloseHandle(held);
  EXPECT_EQ(ReadWinFile(path), FormatSettings(settings));
  EXPECT_EQ(GetFileAttributesA((path + "." + std::to_string(GetCurrentProcessId()) + ".tmp").c_str()),
            INVALID_FILE_ATTRIBUTES);
}
